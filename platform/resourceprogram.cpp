#include "platform/resourceprogram.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <utility>

#include "platform/reporterror.h"

namespace platform {
namespace {

using std::chrono::milliseconds;

// Why a program could not be run; nothing when it can be.
std::optional<std::string> CannotRun(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "missing";
  if (!S_ISREG(st.st_mode)) return "not a file";
  if (::access(path.c_str(), X_OK) != 0) return "not executable";
  return std::nullopt;
}

// Why a run gave nothing; nothing when it ran to its end.
std::optional<std::string> Failure(const ProcessResult& run, milliseconds limit, NonZeroExit exit) {
  if (!run.started && run.keeperFailed) {
    return "could not be started: its keeper " + KeeperProgram() + " could not (" +
           std::strerror(run.startError) + ")";
  }
  if (!run.started) return std::string("could not be started (") + std::strerror(run.startError) + ")";
  if (!run.finishedInTime) return "killed at its limit of " + std::to_string(limit.count()) + " ms";
  if (run.endSignal != 0) return "killed by signal " + std::to_string(run.endSignal);
  if (run.exitCode != 0 && exit == NonZeroExit::kFails) {
    return "exit status " + std::to_string(run.exitCode);
  }
  return std::nullopt;
}

}  // namespace

std::optional<ProcessResult> RunResourceProgram(const std::string& path,
                                                const std::vector<std::string>& args,
                                                milliseconds limit, NonZeroExit exit) {
  if (auto reason = CannotRun(path)) {
    ReportOnce(path, *reason);
    return std::nullopt;
  }
  ProcessResult run = RunProcess(path, args, limit);
  // The program is ending: a run it stopped failed no one.
  if (ScriptsStopped()) return std::nullopt;
  if (auto reason = Failure(run, limit, exit)) {
    ReportOnce(path, *reason);
    return std::nullopt;
  }
  return run;
}

void ReportOnce(const std::string& path, const std::string& reason) {
  static std::set<std::pair<std::string, std::string>> reported;
  if (!reported.emplace(path, reason).second) return;
  ReportError("host script " + path + ": " + reason);
}

}  // namespace platform
