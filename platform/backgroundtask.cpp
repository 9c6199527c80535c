#include "platform/backgroundtask.h"

#include <utility>

namespace platform {
namespace {

std::function<void()>& Observer() {
  static std::function<void()> observer;
  return observer;
}

// The display's own turn, installed by the runtime while it is up.
std::function<void()>& DisplayTurn() {
  static std::function<void()> turn;
  return turn;
}

}  // namespace

void SetBackgroundTaskObserver(std::function<void()> observer) {
  Observer() = std::move(observer);
}

void SetBackgroundTaskDisplayTurn(std::function<void()> turn) {
  DisplayTurn() = std::move(turn);
}

void BackgroundTask() {
  if (Observer()) Observer()();
  if (DisplayTurn()) DisplayTurn()();
}

}  // namespace platform
