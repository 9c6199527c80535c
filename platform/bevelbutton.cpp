#include "platform/bevelbutton.h"

#include "platform/runtime.h"

namespace platform {

void BevelButton::Push() {
  DeliverEvent([this] { Raise(*this, "Action"); });
}

void BevelButton::PropertyChanged(const std::string& name, const PropertyValue&) {
  if (!peer_ || ShowChange(*peer_, name)) return;
  if (name == "Caption") {
    peer_->SetCaption(Caption());
  } else if (name == "TextSize") {
    peer_->SetTextSize(TextSize());
  }
}

void BevelButton::Realize(Display& display, WindowPeer& parent) {
  peer_ = display.CreateButtonPeer(parent, *this);
  peer_->SetCaption(Caption());
  peer_->SetTextSize(TextSize());
  ShowState(*peer_);
}

void BevelButton::Unrealize() { peer_.reset(); }

}  // namespace platform
