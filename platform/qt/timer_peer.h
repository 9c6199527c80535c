// The timer's peer.
#pragma once

#include <memory>

#include "platform/display.h"

namespace platform {
class Timer;
}

namespace platform::qt {

std::unique_ptr<TimerPeer> MakeTimerPeer(Timer& model);

}  // namespace platform::qt
