// Running programs: waited on with a time limit, or started to live on by
// themselves.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace platform {

// Ending the program stops the scripts it runs: from the call on, the script
// a runner waits on is killed with its process group, and every run gives
// the empty reply at once instead of starting. Safe in a signal handler,
// which is where a quit signal calls it.
void StopScripts();
bool ScriptsStopped();
// Scripts run again (tests, which start one program after another).
void ResumeScripts();

// Held by a runner while it waits on a script that runs in its own process
// group `group`, so that StopScripts reaches it. Let it go before the
// script is reaped where the runner can, so that the group's number cannot
// have been given out again.
class RunningScript {
 public:
  explicit RunningScript(int group);
  ~RunningScript();
  RunningScript(const RunningScript&) = delete;
  RunningScript& operator=(const RunningScript&) = delete;
};

// How long a run may take where nothing else was said: two minutes, the
// usual reply limit for an Apple event.
inline constexpr std::chrono::milliseconds kDefaultRunLimit = std::chrono::minutes(2);

struct ProcessResult {
  bool started = false;
  int startError = 0;  // errno, when it could not be started
  bool finishedInTime = false;
  int exitCode = -1;   // when it exited
  int endSignal = 0;   // when a signal ended it
  std::string output;  // standard output, capped
};

// Runs an executable with arguments, all passed as the bytes they are (no
// shell), in a process group of its own; waits at most `limit`, and kills
// the group of a run past it, or of one that StopScripts stops. Standard
// error is passed through.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds limit);

// Starts an executable with arguments, as the bytes they are, to live on
// by itself: in a session of its own, not a child of ours, nothing waited
// for or reported.
void StartDetached(const std::string& program, const std::vector<std::string>& args);

}  // namespace platform
