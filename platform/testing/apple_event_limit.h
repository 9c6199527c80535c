// Test seam: what the Apple event sender shows its tests, and nothing else uses.
#pragma once

#include <chrono>

namespace platform::seam {

// The limit SetAppleEventTimeLimit last set.
std::chrono::milliseconds AppleEventTimeLimit();

}  // namespace platform::seam
