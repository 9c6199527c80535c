#include "platform/display.h"

namespace platform {

Rect Display::DefaultPlacement(int32_t width, int32_t height) const {
  const std::vector<Rect> screens = Screens();
  const Rect main = screens.empty() ? Rect{0, 0, 1024, 768} : screens.front();
  return Rect{main.left + 20, main.top + 40, width, height};
}

}  // namespace platform
