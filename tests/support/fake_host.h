// Plays the host for the palette tests, the fuzz targets and the benchmark:
// answers the five host scripts and the activate event, and writes down
// every call. Links no test framework, so that the fuzz targets can use it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/applevent.h"
#include "platform/scriptrunner.h"

namespace testsupport {

// Installs itself as the current script runner and Apple-event sender for
// its lifetime. A call the host's scripts could not take (an unknown script,
// a wrong number of parameters, an integer, an unknown handle) raises
// std::logic_error.
class FakeHost : public platform::ScriptRunner, public platform::AppleEventSender {
 public:
  FakeHost();
  ~FakeHost() override;
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // The version text, and what frontAppli answers until told otherwise.
  std::string version = "14.0.0";
  std::string front = "Illustrator";
  // Whether the activate event reaches a running host.
  bool running = true;
  // Answers queued for frontAppli, before `front` applies again.
  std::deque<std::string> frontAnswers;
  // Raised (as an IOException) by the next call of that operation
  // ("getAiVer", ..., "gojs", or "activate" for the activate event).
  std::optional<std::string> failNext;

  // The calls, e.g. "getAiVer", "goas /tmp/x/b.scpt", "activate misc actv ART5".
  std::vector<std::string> calls;
  // Told of each call as it is written down, before it answers or fails.
  std::function<void(const std::string& call)> onCall;

  platform::String ScriptFunction(int32_t id) override;
  void ScriptExecute(int32_t id) override;
  int32_t StartParamScript(int32_t id) override;
  void AddStringScriptParam(int32_t handle, const platform::String& text) override;
  void AddIntegerScriptParam(int32_t handle, int32_t value) override;
  platform::String CompleteParamScriptFunction(int32_t handle) override;
  void CompleteParamScriptExecute(int32_t handle) override;
  bool Send(const platform::AppleEvent& event) override;

 private:
  void Record(const std::string& call, const std::string& operation);
  platform::String Run(int32_t id, const std::vector<std::string>& args);
  std::pair<int32_t, std::vector<std::string>>& Open(int32_t handle);

  std::map<int32_t, std::pair<int32_t, std::vector<std::string>>> open_;
  int32_t nextHandle_ = 1;
};

}  // namespace testsupport
