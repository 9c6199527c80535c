// Whether Qt can be started on a display, as far as the environment tells
// before Qt starts (Qt aborts where it finds none), and what to say should
// Qt still fail to start.
#pragma once

#include <QByteArray>

#include <functional>
#include <string>

#include "platform/display.h"

namespace platform::qt {

struct DisplayCheck {
  std::string problem;     // empty when Qt can be started
  QByteArray platform;     // what Qt is to be asked for while it starts; empty: as set
  // Words the one sentence once Qt has failed to start: only then are the
  // installed plugins and the X server looked at.
  std::function<std::string()> startFailure;
};

DisplayCheck CheckDisplay(const DisplayOptions& options);

// What is wrong with the display Qt has started on where Qt says nothing
// (it starts on an X display's first screen when the one asked for is not
// there), in the same words; empty when nothing is.
std::string CheckStartedDisplay(const DisplayOptions& options);

}  // namespace platform::qt
