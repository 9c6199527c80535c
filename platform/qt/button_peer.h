// The button's peer: a push button on the window's content area.
#pragma once

#include <memory>

#include "platform/display.h"

namespace platform {
class BevelButton;
}

namespace platform::qt {

class QtWindowPeer;

// A button's caption keeps this many pixels clear of the bevel on either
// side; what is left is the room it is fitted to.
constexpr int kCaptionClearance = 2;

std::unique_ptr<ButtonPeer> MakeButtonPeer(QtWindowPeer& parent, BevelButton& model);

}  // namespace platform::qt
