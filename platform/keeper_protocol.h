// How the script runner and its keeper program (keeper.cpp) meet:
//   tessaline-keeper PARENT PROGRAM [ARG...]
// PARENT is the runner's pid; standard input and output are the script's;
// descriptor kErrorFd takes the errno of a start that failed, and closes
// unwritten once the script is exec'd. The keeper ends as the script did;
// kStopSignal tells it to end the script with every descendant first.
#pragma once

#include <signal.h>

namespace platform::keeper {

inline constexpr int kErrorFd = 3;
inline constexpr int kStopSignal = SIGTERM;

}  // namespace platform::keeper
