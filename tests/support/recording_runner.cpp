#include "tests/support/recording_runner.h"

#include "platform/backgroundtask.h"
#include "platform/object.h"

namespace testsupport {

RecordingRunner::RecordingRunner() {
  platform::SetScriptRunner(this);
  platform::SetBackgroundTaskObserver([this] {
    Record("BackgroundTask");
    if (onBackgroundTask_) onBackgroundTask_();
  });
}

RecordingRunner::~RecordingRunner() {
  platform::SetBackgroundTaskObserver(nullptr);
  platform::SetScriptRunner(nullptr);
}

void RecordingRunner::QueueResult(int32_t resourceId, platform::String result) {
  results_[resourceId].push_back(std::move(result));
}

void RecordingRunner::Record(std::string entry) {
  log_.push_back(std::move(entry));
  if (!failOn_.empty() && log_.back().rfind(failOn_, 0) == 0) {
    failOn_.clear();
    throw platform::IOException("recording runner: failing " + log_.back());
  }
}

platform::String RecordingRunner::NextResult(int32_t resourceId) {
  auto& queue = results_[resourceId];
  if (queue.empty()) return platform::String();
  platform::String result = std::move(queue.front());
  queue.pop_front();
  return result;
}

platform::String RecordingRunner::ScriptFunction(int32_t resourceId) {
  Record("ScriptFunction(" + std::to_string(resourceId) + ")");
  return NextResult(resourceId);
}

void RecordingRunner::ScriptExecute(int32_t resourceId) {
  Record("ScriptExecute(" + std::to_string(resourceId) + ")");
}

int32_t RecordingRunner::StartParamScript(int32_t resourceId) {
  const int32_t handle = nextHandle_++;
  handleScripts_[handle] = resourceId;
  Record("StartParamScript(" + std::to_string(resourceId) + ")=" + std::to_string(handle));
  return handle;
}

void RecordingRunner::AddStringScriptParam(int32_t handle, const platform::String& text) {
  Record("AddStringScriptParam(" + std::to_string(handle) + ",\"" + text.str() + "\")");
}

void RecordingRunner::AddIntegerScriptParam(int32_t handle, int32_t value) {
  Record("AddIntegerScriptParam(" + std::to_string(handle) + "," + std::to_string(value) + ")");
}

platform::String RecordingRunner::CompleteParamScriptFunction(int32_t handle) {
  Record("CompleteParamScriptFunction(" + std::to_string(handle) + ")");
  auto found = handleScripts_.find(handle);
  return found == handleScripts_.end() ? platform::String() : NextResult(found->second);
}

void RecordingRunner::CompleteParamScriptExecute(int32_t handle) {
  Record("CompleteParamScriptExecute(" + std::to_string(handle) + ")");
}

}  // namespace testsupport
