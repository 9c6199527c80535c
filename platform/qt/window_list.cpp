#include "platform/qt/window_list.h"

#include <QPointer>

#include <algorithm>

#include "platform/qt/top_level_widget.h"

namespace platform::qt {
namespace {

std::vector<QPointer<TopLevelWidget>>& Windows() {
  static std::vector<QPointer<TopLevelWidget>> windows;
  return windows;
}

}  // namespace

void RememberWindow(TopLevelWidget* window) { Windows().push_back(window); }

std::vector<TopLevelWidget*> LiveWindows() {
  std::vector<TopLevelWidget*> live;
  auto& windows = Windows();
  windows.erase(std::remove_if(windows.begin(), windows.end(),
                               [](const QPointer<TopLevelWidget>& w) { return w.isNull(); }),
                windows.end());
  for (const auto& w : windows) {
    if (w->peer()) live.push_back(w.data());
  }
  return live;
}

QWidget* DialogParent() {
  QWidget* newest = nullptr;
  for (TopLevelWidget* w : LiveWindows()) {
    if (!w->isVisible()) continue;
    if (w->isActiveWindow()) return w;
    newest = w;
  }
  return newest;
}

}  // namespace platform::qt
