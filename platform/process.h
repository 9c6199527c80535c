// Running programs: waited on with a time limit, or started to live on by
// themselves.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace platform {

// Ending the program stops the scripts it runs: from the call on, the run
// that is waiting has its script ended with every process the script
// started, and every run gives the empty reply at once instead of
// starting. Safe in a signal handler, which is where a quit signal calls
// it.
void StopScripts();
bool ScriptsStopped();
// Scripts run again (tests, which start one program after another).
void ResumeScripts();

// Held by RunProcess while it waits on a run's keeper, the process `keeper`
// that starts the script and adopts whatever the script leaves behind, so
// that StopScripts can tell it to end them all. It is let go before the
// keeper is reaped, so that the number it signals is never another's.
class RunningScript {
 public:
  explicit RunningScript(int keeper);
  ~RunningScript();
  RunningScript(const RunningScript&) = delete;
  RunningScript& operator=(const RunningScript&) = delete;
};

// How long a run may take where nothing else was said: two minutes, the
// usual reply limit for an Apple event.
inline constexpr std::chrono::milliseconds kDefaultRunLimit = std::chrono::minutes(2);

// The keeper program that every run goes through (tessaline-keeper), set
// at start-up by the application.
void SetKeeperProgram(std::string path);
const std::string& KeeperProgram();

struct ProcessResult {
  bool started = false;
  int startError = 0;  // errno, when it could not be started
  bool finishedInTime = false;
  int exitCode = -1;   // when it exited
  int endSignal = 0;   // when a signal ended it
  std::string output;  // standard output, capped
  bool outputCut = false;  // more came than the cap
  bool keeperFailed = false;  // startError is the keeper's, not the program's
};

// Runs an executable with arguments, all passed as the bytes they are (no
// shell), in a process group of its own; waits at most `limit`. A run past
// it, or one that StopScripts stops, ends with every descendant of the
// program, also those that left its group or session; the descendants of a
// program that ended by itself live on. Standard input is /dev/null,
// standard error is passed through, standard output (up to 1 MiB) is kept.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds limit);

// Starts an executable with arguments, as the bytes they are, to live on
// by itself: in a session of its own, not a child of ours, nothing waited
// for or reported, and not ended when a run is stopped.
void StartDetached(const std::string& program, const std::vector<std::string>& args);

}  // namespace platform
