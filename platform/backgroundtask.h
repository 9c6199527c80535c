// The background task: long work gives the event loop's other cooperative
// work a turn.
#pragma once

#include <functional>

namespace platform {

// Gives the loop's other cooperative work a turn.
void BackgroundTask();
// Called on every BackgroundTask (tests count them); nullptr removes it.
void SetBackgroundTaskObserver(std::function<void()> observer);
// The display's share of the background task, set by the runtime.
void SetBackgroundTaskDisplayTurn(std::function<void()> turn);

}  // namespace platform
