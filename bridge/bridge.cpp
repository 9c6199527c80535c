#include "bridge/bridge.h"

#include <array>
#include <cstdint>

#include "platform/applevent.h"
#include "platform/backgroundtask.h"
#include "platform/process.h"
#include "platform/scriptrunner.h"

namespace bridge {
namespace {

using platform::Ref;
using platform::String;
using platform::Variant;
using platform::VariantArray;
using namespace std::chrono_literals;

// A host operation: the script it runs, and how long the host may take.
struct Operation {
  int32_t resourceId;
  std::chrono::milliseconds timeLimit;
};

// Asked once at start, while the host may still be launching.
constexpr Operation kGetAiVer{168, 120s};
// Asked every second by the palette's timer: a host that stops answering
// must cost the user a short stall, not a frozen palette.
constexpr Operation kFrontAppli{169, 3s};
// Bringing the palette forward; the host may be busy for a moment.
constexpr Operation kActivate{170, 10s};
// A user's script run in the host, bounded like an Apple event reply.
constexpr Operation kGoas{171, 120s};
constexpr Operation kGojs{172, 120s};
constexpr std::array kOperations{kGetAiVer, kFrontAppli, kActivate, kGoas, kGojs};

// The reply limit the host gives the activation Apple event.
constexpr std::chrono::milliseconds kAppleEventLimit = 10s;

enum class Reply { kText, kNone };

// Every host call has this one shape; only the script and whether its
// answer is wanted differ.
String CallHost(const Operation& operation, const Ref<VariantArray>& params, Reply reply) {
  const int32_t resourceId = operation.resourceId;
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

String getAiVer(const Ref<VariantArray>& params) { return CallHost(kGetAiVer, params, Reply::kText); }
String frontAppli(const Ref<VariantArray>& params) { return CallHost(kFrontAppli, params, Reply::kText); }
void acctivemyapp(const Ref<VariantArray>& params) { CallHost(kActivate, params, Reply::kNone); }
String goas(const Ref<VariantArray>& params) { return CallHost(kGoas, params, Reply::kText); }
String gojs(const Ref<VariantArray>& params) { return CallHost(kGojs, params, Reply::kText); }

void InstallTimeLimits(std::optional<std::chrono::milliseconds> all) {
  platform::SetScriptTimeLimits([all](int32_t resourceId) {
    if (all) return *all;
    for (const Operation& operation : kOperations) {
      if (operation.resourceId == resourceId) return operation.timeLimit;
    }
    return platform::kDefaultRunLimit;
  });
  platform::SetAppleEventTimeLimit(all.value_or(kAppleEventLimit));
}

}  // namespace bridge
