#include "platform/control.h"

#include "platform/window.h"

namespace platform {

Ref<Window> Control::Window() const { return Ref<platform::Window>(window_.lock()); }

Rect RectControl::Bounds() const {
  return Rect{IntProperty("Left", 0), IntProperty("Top", 0), IntProperty("Width", 0),
              IntProperty("Height", 0)};
}

void RectControl::ShowBounds(ControlPeer& peer) const {
  const Ref<platform::Window> window = Window();
  const Size reference = window ? Size{window->Width(), window->Height()} : Size{};
  peer.SetBounds(Bounds(), reference,
                 Locks{BoolProperty("LockLeft", false), BoolProperty("LockTop", false),
                       BoolProperty("LockRight", false), BoolProperty("LockBottom", false)});
}

void RectControl::ShowState(ControlPeer& peer) const {
  peer.SetName(Name());
  ShowBounds(peer);
  peer.SetVisible(BoolProperty("Visible", true));
  peer.SetEnabled(BoolProperty("Enabled", true));
}

bool RectControl::ShowChange(ControlPeer& peer, const std::string& name) const {
  if (name == "Left" || name == "Top" || name == "Width" || name == "Height" ||
      name.rfind("Lock", 0) == 0) {
    ShowBounds(peer);
  } else if (name == "Visible") {
    peer.SetVisible(BoolProperty("Visible", true));
  } else if (name == "Enabled") {
    peer.SetEnabled(BoolProperty("Enabled", true));
  } else if (name == "Name") {
    peer.SetName(Name());
  } else {
    return false;
  }
  return true;
}

}  // namespace platform
