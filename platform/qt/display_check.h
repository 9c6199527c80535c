// Whether Qt can be started on a display, found before it is: Qt aborts
// where it finds none.
#pragma once

#include <QByteArray>

#include <memory>
#include <string>

#include "platform/display.h"
#include "platform/qt/x11_probe.h"

namespace platform::qt {

struct DisplayCheck {
  std::string problem;     // empty when Qt can be started
  QByteArray platform;     // what Qt is to be asked for while it starts; empty: as set
  std::string startFailure;  // what to say should Qt still fail to start
  std::unique_ptr<X11Probe> held;
};

DisplayCheck CheckDisplay(const DisplayOptions& options);

}  // namespace platform::qt
