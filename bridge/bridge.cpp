#include "bridge/bridge.h"

#include <cstdint>

#include "platform/backgroundtask.h"
#include "platform/scriptrunner.h"

namespace bridge {
namespace {

using platform::Ref;
using platform::String;
using platform::Variant;
using platform::VariantArray;

enum class Reply { kText, kNone };

// Every host call has this one shape; only the script and whether its
// answer is wanted differ.
String CallHost(int32_t resourceId, const Ref<VariantArray>& params, Reply reply) {
  // Our own reference: the background task runs other code, which may drop
  // the caller's.
  const Ref<VariantArray> list = params;
  if (list.IsNil()) throw platform::NilObjectException();
  platform::ScriptRunner& runner = platform::CurrentScriptRunner();

  if (list->Ubound() < 0) {
    if (reply == Reply::kNone) {
      runner.ScriptExecute(resourceId);
      return String();
    }
    return runner.ScriptFunction(resourceId);
  }

  const int32_t handle = runner.StartParamScript(resourceId);
  // The bound is read on every pass: the background task may run code that
  // adds to the list, and what it adds is sent too.
  for (int32_t index = 0; list->Ubound() >= index;) {
    // A copy: the list may grow, and move its elements, during the task.
    const Variant element = list->At(index);
    ++index;
    if (platform::VarType(element) == Variant::kTypeInt32) {
      runner.AddIntegerScriptParam(handle, platform::VariantToInt32(element));
    } else {
      runner.AddStringScriptParam(handle, platform::VariantToString(element));
    }
    platform::BackgroundTask();
  }

  if (reply == Reply::kNone) {
    runner.CompleteParamScriptExecute(handle);
    return String();
  }
  return runner.CompleteParamScriptFunction(handle);
}

}  // namespace

String getAiVer(const Ref<VariantArray>& params) { return CallHost(168, params, Reply::kText); }
String frontAppli(const Ref<VariantArray>& params) { return CallHost(169, params, Reply::kText); }
void acctivemyapp(const Ref<VariantArray>& params) { CallHost(170, params, Reply::kNone); }
String goas(const Ref<VariantArray>& params) { return CallHost(171, params, Reply::kText); }
String gojs(const Ref<VariantArray>& params) { return CallHost(172, params, Reply::kText); }

}  // namespace bridge
