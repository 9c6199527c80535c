#include "platform/timer.h"

#include "platform/runtime.h"

namespace platform {

Timer::Timer() = default;
Timer::~Timer() = default;

void Timer::Fire() {
  DeliverEvent([this] { Raise(*this, "Action"); });
}

void Timer::PropertyChanged(const std::string& name, const PropertyValue&) {
  if (peer_ && (name == "Mode" || name == "Period")) peer_->Schedule(Mode(), Period());
}

void Timer::Realize(Display& display) {
  peer_ = display.CreateTimerPeer(*this);
  peer_->Schedule(Mode(), Period());
}

void Timer::Unrealize() { peer_.reset(); }

}  // namespace platform
