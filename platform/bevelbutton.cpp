#include "platform/bevelbutton.h"

#include "platform/runtime.h"

namespace platform {

void BevelButton::Push() {
  DeliverEvent([this] { Raise(*this, "Action"); });
}

void BevelButton::PropertyChanged(const std::string& name, const PropertyValue&) {
  if (peer_) peer_->Changed(name);
}

void BevelButton::Realize(Display& display, WindowPeer& parent) {
  peer_ = display.CreateButtonPeer(parent, *this);
}

void BevelButton::Unrealize() { peer_.reset(); }

}  // namespace platform
