#include "platform/control.h"

#include "platform/window.h"

namespace platform {

Ref<Window> Control::Window() const { return Ref<platform::Window>(window_.lock()); }

Rect RectControl::Bounds() const {
  return Rect{IntProperty("Left", 0), IntProperty("Top", 0), IntProperty("Width", 0),
              IntProperty("Height", 0)};
}

}  // namespace platform
