// The button's peer: a push button on the window's content area.
#pragma once

#include <memory>

#include "platform/display.h"

namespace platform {
class BevelButton;
}

namespace platform::qt {

class QtWindowPeer;

std::unique_ptr<ButtonPeer> MakeButtonPeer(QtWindowPeer& parent, BevelButton& model);

}  // namespace platform::qt
