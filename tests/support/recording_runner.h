// A script runner that runs nothing: it writes down every call it gets, and
// every background task, in order, and answers what the test queued.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/scriptrunner.h"
#include "platform/text.h"

namespace testsupport {

// Installs itself as the current runner and as the background-task
// observer for its lifetime. The log reads, for example:
//   StartParamScript(171)=7  AddStringScriptParam(7,"a b")  BackgroundTask
//   AddIntegerScriptParam(7,-3)  BackgroundTask  CompleteParamScriptFunction(7)
class RecordingRunner : public platform::ScriptRunner {
 public:
  RecordingRunner();
  ~RecordingRunner() override;
  RecordingRunner(const RecordingRunner&) = delete;
  RecordingRunner& operator=(const RecordingRunner&) = delete;

  // The next answer of script `resourceId`; once the queue is empty the
  // script answers "".
  void QueueResult(int32_t resourceId, platform::String result);
  // The handle the next StartParamScript gives; each call counts on from it.
  void SetNextHandle(int32_t handle) { nextHandle_ = handle; }
  // Raise platform::IOException from the first call whose log entry starts
  // with `prefix` (after logging it).
  void FailOn(std::string prefix) { failOn_ = std::move(prefix); }
  // Runs on each background task, after it is logged.
  void OnBackgroundTask(std::function<void()> hook) { onBackgroundTask_ = std::move(hook); }

  const std::vector<std::string>& log() const { return log_; }

  platform::String ScriptFunction(int32_t resourceId) override;
  void ScriptExecute(int32_t resourceId) override;
  int32_t StartParamScript(int32_t resourceId) override;
  void AddStringScriptParam(int32_t handle, const platform::String& text) override;
  void AddIntegerScriptParam(int32_t handle, int32_t value) override;
  platform::String CompleteParamScriptFunction(int32_t handle) override;
  void CompleteParamScriptExecute(int32_t handle) override;

 private:
  void Record(std::string entry);
  platform::String NextResult(int32_t resourceId);

  std::vector<std::string> log_;
  std::map<int32_t, std::deque<platform::String>> results_;
  std::map<int32_t, int32_t> handleScripts_;  // handle -> resource id
  int32_t nextHandle_ = 7;
  std::string failOn_;
  std::function<void()> onBackgroundTask_;
};

}  // namespace testsupport
