// The host calls: what each sends the script runner, in which order, and
// what comes back.
#include "bridge/bridge.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/object.h"
#include "platform/variant.h"
#include "tests/support/recording_runner.h"

namespace {

using platform::MakeList;
using platform::Ref;
using platform::String;
using platform::Variant;
using platform::VariantArray;

struct Operation {
  const char* name;
  int32_t id;
  // The reply, or nothing for the operation that has none.
  std::function<std::optional<String>(const Ref<VariantArray>&)> call;
};

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> ops = {
      {"getAiVer", 168, [](const Ref<VariantArray>& p) { return std::optional(bridge::getAiVer(p)); }},
      {"frontAppli", 169, [](const Ref<VariantArray>& p) { return std::optional(bridge::frontAppli(p)); }},
      {"acctivemyapp", 170,
       [](const Ref<VariantArray>& p) -> std::optional<String> {
         bridge::acctivemyapp(p);
         return std::nullopt;
       }},
      {"goas", 171, [](const Ref<VariantArray>& p) { return std::optional(bridge::goas(p)); }},
      {"gojs", 172, [](const Ref<VariantArray>& p) { return std::optional(bridge::gojs(p)); }},
  };
  return ops;
}

struct Case {
  const char* name;
  std::function<Ref<VariantArray>()> list;
  // {id} is the operation's script, {run} and {complete} its plain and
  // parameterised call (the Execute forms for the operation with no reply),
  // {h} the handle.
  std::vector<std::string> expected;
  std::string result = "answer \"as is\"\n";
  int32_t handle = 7;
  bool nil = false;
  // The background task appends one element the first time it runs.
  bool growsDuringLoop = false;
};

std::string Expand(std::string entry, const Operation& op, int32_t handle) {
  const bool reply = op.id != 170;
  const std::pair<std::string, std::string> tokens[] = {
      {"{id}", std::to_string(op.id)},
      {"{run}", reply ? "ScriptFunction" : "ScriptExecute"},
      {"{complete}", reply ? "CompleteParamScriptFunction" : "CompleteParamScriptExecute"},
      {"{h}", std::to_string(handle)},
  };
  for (const auto& [token, value] : tokens) {
    for (auto at = entry.find(token); at != std::string::npos; at = entry.find(token, at)) {
      entry.replace(at, token.size(), value);
      at += value.size();
    }
  }
  return entry;
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"empty list runs the plain script", [] { return MakeList(); }, {"{run}({id})"}},
      {"one text element",
       [] { return MakeList({"/tmp/a b.scpt"}); },
       {"StartParamScript({id})={h}", "AddStringScriptParam({h},\"/tmp/a b.scpt\")",
        "BackgroundTask", "{complete}({h})"}},
      {"Int32 elements go as integers, negative and extreme too",
       [] { return MakeList({int32_t{-5}, INT32_MIN, INT32_MAX}); },
       {"StartParamScript({id})={h}", "AddIntegerScriptParam({h},-5)", "BackgroundTask",
        "AddIntegerScriptParam({h},-2147483648)", "BackgroundTask",
        "AddIntegerScriptParam({h},2147483647)", "BackgroundTask", "{complete}({h})"}},
      {"Boolean, double, numeric text and nil go as text",
       [] { return MakeList({true, 2.5, "42", Variant()}); },
       {"StartParamScript({id})={h}", "AddStringScriptParam({h},\"True\")", "BackgroundTask",
        "AddStringScriptParam({h},\"2.5\")", "BackgroundTask",
        "AddStringScriptParam({h},\"42\")", "BackgroundTask",
        "AddStringScriptParam({h},\"\")", "BackgroundTask", "{complete}({h})"}},
      {"text, integer, text keep their order",
       [] { return MakeList({"first", int32_t{3}, "last"}); },
       {"StartParamScript({id})={h}", "AddStringScriptParam({h},\"first\")", "BackgroundTask",
        "AddIntegerScriptParam({h},3)", "BackgroundTask",
        "AddStringScriptParam({h},\"last\")", "BackgroundTask", "{complete}({h})"}},
      {"nil list calls nothing", [] { return Ref<VariantArray>(); }, {}, "", 7, true},
      {"empty reply comes back empty", [] { return MakeList(); }, {"{run}({id})"}, ""},
      {"empty reply of a parameterised call",
       [] { return MakeList({int32_t{1}}); },
       {"StartParamScript({id})={h}", "AddIntegerScriptParam({h},1)", "BackgroundTask",
        "{complete}({h})"},
       ""},
      {"handle is passed on, whatever its value",
       [] { return MakeList({"x"}); },
       {"StartParamScript({id})={h}", "AddStringScriptParam({h},\"x\")", "BackgroundTask",
        "{complete}({h})"},
       "r",
       0},
      {"element added during the loop is sent too",
       [] { return MakeList({"a"}); },
       {"StartParamScript({id})={h}", "AddStringScriptParam({h},\"a\")", "BackgroundTask",
        "AddStringScriptParam({h},\"added\")", "BackgroundTask", "{complete}({h})"},
       "r",
       -1,
       false,
       true},
  };
  return cases;
}

TEST(BridgeTest, EachOperationSendsItsListAndReturnsTheReply) {
  for (const Operation& op : Operations()) {
    for (const Case& c : Cases()) {
      SCOPED_TRACE(std::string(op.name) + ": " + c.name);
      testsupport::RecordingRunner runner;
      runner.SetNextHandle(c.handle);
      runner.QueueResult(op.id, String(c.result));
      Ref<VariantArray> list = c.list();
      bool added = false;
      if (c.growsDuringLoop) {
        runner.OnBackgroundTask([&] {
          if (!added) list->Append("added");
          added = true;
        });
      }

      if (c.nil) {
        EXPECT_THROW(op.call(list), platform::NilObjectException);
        EXPECT_TRUE(runner.log().empty());
        continue;
      }
      const std::optional<String> reply = op.call(list);

      std::vector<std::string> expected;
      for (const auto& entry : c.expected) expected.push_back(Expand(entry, op, c.handle));
      EXPECT_EQ(runner.log(), expected);
      if (op.id == 170) {
        EXPECT_FALSE(reply.has_value());
      } else {
        ASSERT_TRUE(reply.has_value());
        // Byte for byte: String's own == folds case.
        EXPECT_EQ(reply->str(), c.result);
      }
    }
  }
}

TEST(BridgeTest, RepliesGoToTheirOwnOperation) {
  testsupport::RecordingRunner runner;
  runner.QueueResult(169, "Illustrator");
  runner.QueueResult(169, "Finder");
  runner.QueueResult(168, "14.0.0");
  EXPECT_EQ(bridge::frontAppli(MakeList()).str(), "Illustrator");
  EXPECT_EQ(bridge::getAiVer(MakeList()).str(), "14.0.0");
  EXPECT_EQ(bridge::frontAppli(MakeList()).str(), "Finder");
}

TEST(BridgeTest, RunnerFailureEndsTheCallAndPropagates) {
  for (const Operation& op : Operations()) {
    SCOPED_TRACE(op.name);
    testsupport::RecordingRunner runner;
    runner.FailOn("AddIntegerScriptParam");
    EXPECT_THROW(op.call(MakeList({"first", int32_t{3}, "last"})), platform::IOException);
    const std::vector<std::string> expected = {
        Expand("StartParamScript({id})={h}", op, 7), "AddStringScriptParam(7,\"first\")",
        "BackgroundTask", "AddIntegerScriptParam(7,3)"};
    EXPECT_EQ(runner.log(), expected);
  }
}

}  // namespace
