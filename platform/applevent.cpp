#include "platform/applevent.h"

#include <chrono>
#include <optional>
#include <utility>

#include "platform/testing/apple_event_limit.h"
#include "platform/process.h"
#include "platform/resourceprogram.h"
#include "platform/resourcesfolder.h"

namespace platform {
namespace {

std::chrono::milliseconds sendLimit = kDefaultRunLimit;

class ProcessAppleEventSender : public AppleEventSender {
 public:
  bool Send(const AppleEvent& event) override {
    // A non-zero exit is the sender's "not delivered", not a fault.
    const std::optional<ProcessResult> run = RunResourceProgram(
        ResourcesFolder() + "/appleevent",
        {event.eventClass().str(), event.eventId().str(), event.target().str()}, sendLimit,
        NonZeroExit::kAnswers);
    return run && run->exitCode == 0;
  }
};

ProcessAppleEventSender& ProcessSender() {
  static ProcessAppleEventSender sender;
  return sender;
}

AppleEventSender* installedSender = nullptr;

}  // namespace

AppleEvent::AppleEvent(String eventClass, String eventId, String target)
    : class_(std::move(eventClass)), id_(std::move(eventId)), target_(std::move(target)) {}

bool AppleEvent::Send() {
  return installedSender ? installedSender->Send(*this) : ProcessSender().Send(*this);
}

void SetAppleEventSender(AppleEventSender* sender) { installedSender = sender; }

void SetAppleEventTimeLimit(std::chrono::milliseconds limit) { sendLimit = limit; }
std::chrono::milliseconds seam::AppleEventTimeLimit() { return sendLimit; }

Ref<AppleEvent> NewAppleEvent(const String& eventClass, const String& eventId,
                              const String& target) {
  if (eventClass.LenB() != 4 || eventId.LenB() != 4 || target.LenB() != 4) return nullptr;
  return New<AppleEvent>(eventClass, eventId, target);
}

}  // namespace platform
