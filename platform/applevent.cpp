#include "platform/applevent.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <chrono>
#include <utility>

#include "platform/process.h"
#include "platform/scriptrunner.h"

namespace platform {
namespace {

// The reply limit the host gives an Apple event.
constexpr std::chrono::seconds kSendLimit{10};

// TESSALINE_SCRIPT_TIMEOUT_MS overrides this limit as it does the scripts'.
std::chrono::milliseconds SendLimit() {
  const char* text = std::getenv("TESSALINE_SCRIPT_TIMEOUT_MS");
  if (text == nullptr || *text == '\0') return kSendLimit;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || value <= 0 || value > INT_MAX) return kSendLimit;
  return std::chrono::milliseconds(value);
}

class ProcessAppleEventSender : public AppleEventSender {
 public:
  bool Send(const AppleEvent& event) override {
    const ProcessResult run =
        RunProcess(ResourcesFolder() + "/appleevent",
                   {event.eventClass().str(), event.eventId().str(), event.target().str()},
                   SendLimit());
    return run.started && run.finishedInTime && run.exitCode == 0;
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

Ref<AppleEvent> NewAppleEvent(const String& eventClass, const String& eventId,
                              const String& target) {
  if (eventClass.LenB() != 4 || eventId.LenB() != 4 || target.LenB() != 4) return nullptr;
  return New<AppleEvent>(eventClass, eventId, target);
}

}  // namespace platform
