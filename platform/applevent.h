// Apple events, reduced to a class, an id and a target signature, handed
// to the resources' "appleevent" program.
#pragma once

#include <chrono>

#include "platform/object.h"
#include "platform/text.h"

namespace platform {

class AppleEvent : public Object {
 public:
  AppleEvent(String eventClass, String eventId, String target);
  // Through the current sender; by default runs resources/appleevent with
  // the class, id and target as its three arguments, True exactly when it
  // exits 0 within its time limit. Like a host script, it says once on
  // standard error why it could not run or was killed; a non-zero exit is
  // its answer and says nothing.
  bool Send();

  const String& eventClass() const { return class_; }
  const String& eventId() const { return id_; }
  const String& target() const { return target_; }

 private:
  String class_, id_, target_;
};

// Delivers sent events. The process sender runs resources/appleevent;
// tests install their own.
class AppleEventSender {
 public:
  virtual ~AppleEventSender() = default;
  virtual bool Send(const AppleEvent& event) = 0;
};
// nullptr restores the process sender. The caller keeps ownership.
void SetAppleEventSender(AppleEventSender* sender);

// How long the process sender waits for resources/appleevent; set at
// start-up, kDefaultRunLimit until then.
void SetAppleEventTimeLimit(std::chrono::milliseconds limit);

// Nil unless class, id and target are four bytes each.
Ref<AppleEvent> NewAppleEvent(const String& eventClass, const String& eventId,
                              const String& target);

}  // namespace platform
