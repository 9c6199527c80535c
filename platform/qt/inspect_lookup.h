// How the inspection finds a window's widgets from outside, through Qt's
// object tree; shared by the inspection's files.
#pragma once

namespace platform {
class Window;
}

namespace platform::qt {
class TopLevelWidget;
}

namespace platform::qtinspect {

// The window's top-level widget, while the window has its peer.
qt::TopLevelWidget* WindowOf(const Window& window);

}  // namespace platform::qtinspect
