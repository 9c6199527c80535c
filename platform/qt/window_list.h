// The top-level widgets of the framework's windows, oldest first.
#pragma once

#include <QWidget>

#include <vector>

namespace platform::qt {

class TopLevelWidget;

void RememberWindow(TopLevelWidget* window);
// The top-level windows whose models are still open, oldest first.
std::vector<TopLevelWidget*> LiveWindows();
// The window a modal box stands in front of: the active one of these
// windows, else the newest shown one; nullptr when none is shown.
QWidget* DialogParent();

}  // namespace platform::qt
