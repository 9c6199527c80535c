#include "platform/scriptrunner.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/object.h"
#include "platform/process.h"
#include "platform/resourceprogram.h"
#include "platform/resourcesfolder.h"

namespace platform {
namespace {

using std::chrono::milliseconds;

ProcessScriptRunner& ProcessRunner() {
  static ProcessScriptRunner runner;
  return runner;
}

ScriptRunner* installedRunner = nullptr;

// Set at start-up by the application; see SetScriptTimeLimits.
ScriptTimeLimits timeLimits;

std::string ScriptPath(int32_t resourceId) {
  return ResourcesFolder() + "/scripts/" + std::to_string(resourceId);
}

String RunScript(int32_t resourceId, const std::vector<std::string>& args) {
  const std::string path = ScriptPath(resourceId);
  std::optional<ProcessResult> run =
      RunResourceProgram(path, args, ScriptTimeLimit(resourceId), NonZeroExit::kFails);
  if (!run) return String();
  if (run->outputCut) ReportOnce(path, "reply cut at 1 MiB");
  std::string& output = run->output;
  if (!output.empty() && output.back() == '\n') output.pop_back();
  return String(std::move(output));
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
