// The timer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/display.h"
#include "platform/events.h"
#include "platform/object.h"
#include "platform/properties.h"

namespace platform {

// The framework's timer: Mode 0 off, 1 once, 2 repeating every Period ms
// (TimerMode); another Mode is off.
class Timer : public Object, public PropertyHolder, public EventSource {
 public:
  Timer();
  ~Timer() override;
  int32_t Mode() const { return IntProperty("Mode", 2); }
  int32_t Period() const { return IntProperty("Period", 1000); }
  // The period came round: raises Action.
  void Fire();
  void Realize(Display& display);
  void Unrealize();

 private:
  void PropertyChanged(const std::string& name, const PropertyValue& value) override;
  std::unique_ptr<TimerPeer> peer_;
};

}  // namespace platform
