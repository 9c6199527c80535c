#include "platform/timer.h"

#include "platform/runtime.h"

namespace platform {

Timer::Timer() = default;
Timer::~Timer() = default;

void Timer::Fire() {
  DeliverEvent([this] { Raise(*this, "Action"); });
}

namespace {

TimerMode ModeOf(int32_t code) {
  switch (code) {
    case static_cast<int32_t>(TimerMode::kSingle): return TimerMode::kSingle;
    case static_cast<int32_t>(TimerMode::kMultiple): return TimerMode::kMultiple;
    default: return TimerMode::kOff;
  }
}

}  // namespace

void Timer::PropertyChanged(const std::string& name, const PropertyValue&) {
  if (peer_ && (name == "Mode" || name == "Period")) peer_->Schedule(ModeOf(Mode()), Period());
}

void Timer::Realize(Display& display) {
  peer_ = display.CreateTimerPeer(*this);
  peer_->Schedule(ModeOf(Mode()), Period());
}

void Timer::Unrealize() { peer_.reset(); }

}  // namespace platform
