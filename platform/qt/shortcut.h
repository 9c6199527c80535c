// A menu item's keyboard shortcut, as the framework writes it.
#pragma once

#include <QKeySequence>

#include "platform/text.h"

namespace platform::qt {

QKeySequence ShortcutOf(const String& text);

}  // namespace platform::qt
