// Making the real display. Declared apart from the Qt code so that start-up
// can ask for it without seeing a Qt header.
#pragma once

#include <memory>
#include <string>

#include "platform/display.h"

namespace platform {

// The Qt Widgets display, or nullptr with `error` set to one sentence for
// the user when there is no display to show it on.
std::unique_ptr<Display> CreateQtDisplay(int& argc, char** argv, const DisplayOptions& options,
                                         std::string* error);

}  // namespace platform
