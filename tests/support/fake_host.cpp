#include "tests/support/fake_host.h"

#include <array>
#include <stdexcept>

#include "platform/object.h"

namespace testsupport {
namespace {

struct Script {
  const char* name;
  std::size_t texts;  // how many text parameters it takes
};

constexpr int32_t kFirstScript = 168;
constexpr std::array<Script, 5> kScripts = {
    {{"getAiVer", 0}, {"frontAppli", 0}, {"acctivemyapp", 0}, {"goas", 1}, {"gojs", 1}}};

const Script& ScriptOf(int32_t id) {
  if (id < kFirstScript || id >= kFirstScript + static_cast<int32_t>(kScripts.size())) {
    throw std::logic_error("no host script " + std::to_string(id));
  }
  return kScripts[static_cast<std::size_t>(id - kFirstScript)];
}

}  // namespace

FakeHost::FakeHost() {
  platform::SetScriptRunner(this);
  platform::SetAppleEventSender(this);
}

FakeHost::~FakeHost() {
  platform::SetScriptRunner(nullptr);
  platform::SetAppleEventSender(nullptr);
}

void FakeHost::Record(const std::string& call, const std::string& operation) {
  calls.push_back(call);
  if (onCall) onCall(call);
  if (failNext && *failNext == operation) {
    failNext.reset();
    throw platform::IOException(operation + " failed");
  }
}

platform::String FakeHost::Run(int32_t id, const std::vector<std::string>& args) {
  const Script& script = ScriptOf(id);
  if (args.size() != script.texts) {
    throw std::logic_error(std::string(script.name) + " given " + std::to_string(args.size()) +
                           " parameters");
  }
  std::string call = script.name;
  for (const std::string& a : args) call += " " + a;
  Record(call, script.name);
  if (id == 168) return version;
  if (id == 169) {
    if (frontAnswers.empty()) return front;
    std::string answer = frontAnswers.front();
    frontAnswers.pop_front();
    return answer;
  }
  return platform::String();
}

std::pair<int32_t, std::vector<std::string>>& FakeHost::Open(int32_t handle) {
  const auto it = open_.find(handle);
  if (it == open_.end()) throw std::logic_error("no open host call " + std::to_string(handle));
  return it->second;
}

platform::String FakeHost::ScriptFunction(int32_t id) { return Run(id, {}); }
void FakeHost::ScriptExecute(int32_t id) { Run(id, {}); }

int32_t FakeHost::StartParamScript(int32_t id) {
  ScriptOf(id);
  open_[nextHandle_] = {id, {}};
  return nextHandle_++;
}

void FakeHost::AddStringScriptParam(int32_t handle, const platform::String& text) {
  Open(handle).second.push_back(text.str());
}

void FakeHost::AddIntegerScriptParam(int32_t handle, int32_t) {
  Open(handle);
  throw std::logic_error("the host's scripts take texts only");
}

platform::String FakeHost::CompleteParamScriptFunction(int32_t handle) {
  const auto call = std::move(Open(handle));
  open_.erase(handle);
  return Run(call.first, call.second);
}

void FakeHost::CompleteParamScriptExecute(int32_t handle) { CompleteParamScriptFunction(handle); }

bool FakeHost::Send(const platform::AppleEvent& event) {
  Record("activate " + event.eventClass().str() + " " + event.eventId().str() + " " +
             event.target().str(),
         "activate");
  return running;
}

}  // namespace testsupport
