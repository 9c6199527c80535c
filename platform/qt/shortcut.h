// A menu item's keyboard shortcut, as the framework writes it.
#pragma once

#include <QKeySequence>

#include "platform/text.h"

namespace platform::qt {

// "Cmd+Shift+Z" as a Linux desktop writes it: the command key is Ctrl.
QKeySequence ShortcutOf(const String& text);

}  // namespace platform::qt
