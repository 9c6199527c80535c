// The runner of the host scripts kept among the application's resources.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace platform {

// The runner's operations. A parameterised call is opened with
// StartParamScript, given its parameters in order, and run by one of the
// Complete operations, which end it.
class ScriptRunner {
 public:
  virtual ~ScriptRunner() = default;
  virtual String ScriptFunction(int32_t resourceId) = 0;
  virtual void ScriptExecute(int32_t resourceId) = 0;
  virtual int32_t StartParamScript(int32_t resourceId) = 0;
  virtual void AddStringScriptParam(int32_t handle, const String& text) = 0;
  virtual void AddIntegerScriptParam(int32_t handle, int32_t value) = 0;
  virtual String CompleteParamScriptFunction(int32_t handle) = 0;
  virtual void CompleteParamScriptExecute(int32_t handle) = 0;
};

// The runner the bridge uses; the process runner unless one was installed.
ScriptRunner& CurrentScriptRunner();
// Installs a runner (tests); nullptr restores the process runner. The
// caller keeps ownership.
void SetScriptRunner(ScriptRunner* runner);

// How long the script of each resource id may run before it is killed and
// gives the empty text; set at start-up. Without a function every script
// has kDefaultRunLimit.
using ScriptTimeLimits = std::function<std::chrono::milliseconds(int32_t resourceId)>;
void SetScriptTimeLimits(ScriptTimeLimits limits);
std::chrono::milliseconds ScriptTimeLimit(int32_t resourceId);

// Runs the script of resource id N, the executable file scripts/N in the
// resources folder (resourcesfolder.h): started directly, never through a shell, with the
// parameters as its arguments in order, byte for byte; waits for it. The
// result is its standard output (up to 1 MiB) with one trailing newline
// removed, or the empty text when the script is missing, fails, or outlives
// its limit (it is then killed with all it started); one line on standard
// error then says why, or that the reply was cut at 1 MiB, once per script
// and reason. The script's standard error passes through to the program's.
class ProcessScriptRunner : public ScriptRunner {
 public:
  String ScriptFunction(int32_t resourceId) override;
  void ScriptExecute(int32_t resourceId) override;
  int32_t StartParamScript(int32_t resourceId) override;
  void AddStringScriptParam(int32_t handle, const String& text) override;
  void AddIntegerScriptParam(int32_t handle, int32_t value) override;
  String CompleteParamScriptFunction(int32_t handle) override;
  void CompleteParamScriptExecute(int32_t handle) override;
};

}  // namespace platform
