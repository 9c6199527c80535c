// Why an X display could not be reached, asked once Qt has failed to reach
// it: Qt says only that it could not.
#pragma once

namespace platform::qt {

enum class X11Reach { kReachable, kUnreachable, kNoSuchScreen, kUnknown };

// One connection attempt to `display`, let go at once; `screen` is the
// screen the name asks for.
X11Reach ProbeX11(const char* display, int* screen);

}  // namespace platform::qt
