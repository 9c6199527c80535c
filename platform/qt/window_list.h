// The top-level windows of the framework's open windows.
#pragma once

#include <QWidget>

#include <vector>

namespace platform::qt {

class TopLevelWidget;

// The widget showing a model (a window, a list, a button), while it has
// one; what inspection finds its way by.
void RegisterWidget(const void* model, QWidget* widget);
void UnregisterWidget(const void* model);
QWidget* WidgetOf(const void* model);
void RememberWindow(TopLevelWidget* window);
// The top-level windows whose models are still open, oldest first.
std::vector<TopLevelWidget*> LiveWindows();
// The window a modal box stands in front of: the active one of these
// windows, else the newest shown one; nullptr when none is shown.
QWidget* DialogParent();

}  // namespace platform::qt
