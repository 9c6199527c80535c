// What a window holds: controls, placed by their bounds, and the pane
// children that are no controls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/display.h"
#include "platform/events.h"
#include "platform/object.h"
#include "platform/properties.h"
#include "platform/text.h"

namespace platform {

class Window;

// Something placed on a window that is no Control (the timer).
class PaneChild {
 public:
  virtual ~PaneChild() = default;
  virtual void SetWindow(const Ref<platform::Window>& window) = 0;
  virtual Ref<platform::Window> Window() = 0;
  virtual int32_t GetIndex() = 0;
  virtual void SetIndex(int32_t index) = 0;
};

class Control : public Object, public PropertyHolder, public EventSource {
 public:
  Ref<platform::Window> Window() const;
  String Name() const { return TextProperty("Name"); }
  void SetOwner(const Ref<platform::Window>& window) { window_ = window.shared(); }

 private:
  std::weak_ptr<platform::Window> window_;
};

class RectControl : public Control {
 public:
  void Constructor() {}
  Rect Bounds() const;
  // The control's peer is made when the control is added to a shown window.
  virtual void Realize(Display& display, WindowPeer& parent) = 0;
  virtual void Unrealize() = 0;

 protected:
  // What every control's peer shows: its place, whether it is visible and
  // whether it is enabled.
  void ShowState(ControlPeer& peer) const;
  // Tells the peer of a change to one of those; false for another property.
  bool ShowChange(ControlPeer& peer, const std::string& name) const;

 private:
  void ShowBounds(ControlPeer& peer) const;
};

}  // namespace platform
