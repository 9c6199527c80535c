#include "platform/scriptrunner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <set>
#include <system_error>
#include <unordered_map>
#include <utility>

#include "platform/object.h"
#include "platform/process.h"
#include "platform/programname.h"

namespace platform {
namespace {

using std::chrono::milliseconds;

ProcessScriptRunner& ProcessRunner() {
  static ProcessScriptRunner runner;
  return runner;
}

ScriptRunner* installedRunner = nullptr;

// Set at start-up by the application; see SetResourcesFolder and
// SetScriptTimeLimits.
std::string resourcesFolder;
ScriptTimeLimits timeLimits;

std::string ExecutableFolder() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return exe.parent_path().string();
}

std::string ScriptPath(int32_t resourceId) {
  return ResourcesFolder() + "/scripts/" + std::to_string(resourceId);
}

// Why a script could not be run; nothing when it can be.
std::optional<std::string> CannotRun(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "missing";
  if (!S_ISREG(st.st_mode)) return "not a file";
  if (::access(path.c_str(), X_OK) != 0) return "not executable";
  return std::nullopt;
}

// Why a run gave the empty reply; nothing when it answered.
std::optional<std::string> Failure(const ProcessResult& run, milliseconds limit) {
  if (!run.started) return std::string("could not be started (") + std::strerror(run.startError) + ")";
  if (!run.finishedInTime) return "killed at its limit of " + std::to_string(limit.count()) + " ms";
  if (run.endSignal != 0) return "killed by signal " + std::to_string(run.endSignal);
  if (run.exitCode != 0) return "exit status " + std::to_string(run.exitCode);
  return std::nullopt;
}

// The empty reply says nothing of why, so the user is told on standard
// error: once per script and reason, since a script may be asked every
// second.
void ReportFailure(const std::string& path, const std::string& reason) {
  static std::set<std::pair<std::string, std::string>> reported;
  if (!reported.emplace(path, reason).second) return;
  ReportError("host script " + path + ": " + reason);
}

String RunScript(int32_t resourceId, const std::vector<std::string>& args) {
  const std::string path = ScriptPath(resourceId);
  if (auto reason = CannotRun(path)) {
    ReportFailure(path, *reason);
    return String();
  }
  const milliseconds limit = ScriptTimeLimit(resourceId);
  ProcessResult run = RunProcess(path, args, limit);
  // The program is ending: a script it stopped failed no one.
  if (ScriptsStopped()) return String();
  if (auto reason = Failure(run, limit)) {
    ReportFailure(path, *reason);
    return String();
  }
  if (!run.output.empty() && run.output.back() == '\n') run.output.pop_back();
  return String(std::move(run.output));
}

// Open parameterised calls. Handles come from one counter for the whole
// process, so a handle names one call of one runner and is never given out
// again; the owner is kept so that one runner cannot complete another's.
struct OpenCall {
  const ProcessScriptRunner* owner;
  int32_t resourceId;
  std::vector<std::string> args;
};

std::unordered_map<int32_t, OpenCall>& OpenCalls() {
  static std::unordered_map<int32_t, OpenCall> calls;
  return calls;
}
int32_t lastHandle = 0;

void AddParam(const ProcessScriptRunner* owner, int32_t handle, std::string arg) {
  auto found = OpenCalls().find(handle);
  if (found == OpenCalls().end() || found->second.owner != owner) return;
  found->second.args.push_back(std::move(arg));
}

// Removes the call and hands it back; nothing for a handle that is not open.
std::optional<OpenCall> TakeCall(const ProcessScriptRunner* owner, int32_t handle) {
  auto found = OpenCalls().find(handle);
  if (found == OpenCalls().end() || found->second.owner != owner) return std::nullopt;
  OpenCall call = std::move(found->second);
  OpenCalls().erase(found);
  return call;
}

}  // namespace

ScriptRunner& CurrentScriptRunner() {
  return installedRunner ? *installedRunner : ProcessRunner();
}

void SetScriptRunner(ScriptRunner* runner) { installedRunner = runner; }

void SetResourcesFolder(std::string folder) { resourcesFolder = std::move(folder); }

std::string ResourcesFolder() {
  return resourcesFolder.empty() ? ExecutableFolder() + "/resources" : resourcesFolder;
}

void SetScriptTimeLimits(ScriptTimeLimits limits) { timeLimits = std::move(limits); }

milliseconds ScriptTimeLimit(int32_t resourceId) {
  return timeLimits ? timeLimits(resourceId) : kDefaultRunLimit;
}

String ProcessScriptRunner::ScriptFunction(int32_t resourceId) { return RunScript(resourceId, {}); }

void ProcessScriptRunner::ScriptExecute(int32_t resourceId) { RunScript(resourceId, {}); }

int32_t ProcessScriptRunner::StartParamScript(int32_t resourceId) {
  // Two thousand million calls in one run is beyond any program; refusing
  // is better than handing out a handle a second time.
  if (lastHandle == std::numeric_limits<int32_t>::max()) {
    throw RuntimeException("no script handles left");
  }
  const int32_t handle = ++lastHandle;
  OpenCalls().emplace(handle, OpenCall{this, resourceId, {}});
  return handle;
}

void ProcessScriptRunner::AddStringScriptParam(int32_t handle, const String& text) {
  AddParam(this, handle, text.str());
}

void ProcessScriptRunner::AddIntegerScriptParam(int32_t handle, int32_t value) {
  AddParam(this, handle, std::to_string(value));
}

String ProcessScriptRunner::CompleteParamScriptFunction(int32_t handle) {
  auto call = TakeCall(this, handle);
  if (!call) return String();
  return RunScript(call->resourceId, call->args);
}

void ProcessScriptRunner::CompleteParamScriptExecute(int32_t handle) {
  if (auto call = TakeCall(this, handle)) RunScript(call->resourceId, call->args);
}

}  // namespace platform
