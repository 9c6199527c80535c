// The one display interface. The framework's objects keep their own state;
// a display shows them through peers and reports what the user does back to
// them. Two implementations: Qt Widgets (the real palette) and a scripted
// one for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace platform {

class Window;
class Listbox;
class BevelButton;
class Timer;
class MenuBar;

struct Rect {
  int32_t left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Margins {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  // A property of the model changed: "Title", "Visible", "Bounds",
  // "MinMax", "Frame", "MenuBar", or one of the block's other names.
  virtual void Changed(const std::string& what) = 0;
  // A move or resize by the user that the model has not been told of yet
  // is told now.
  virtual void SettleBounds() {}
  // What the window shows around a content area `width` wide (its menu
  // bar), in pixels on each side.
  virtual Margins FrameMargins(int32_t width) const {
    (void)width;
    return {};
  }
};

class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void Changed(const std::string& what) = 0;
};

// Rows are addressed as the list's tree: a top-level row, and for a child
// row its place under that row (child -1 is the top-level row itself).
class ListboxPeer : public ControlPeer {
 public:
  virtual void RowInserted(int32_t top, int32_t child) = 0;
  virtual void RowRemoved(int32_t top, int32_t child) = 0;
  virtual void CellChanged(int32_t top, int32_t child, int32_t column) = 0;
  virtual void ExpandedChanged(int32_t top) = 0;
  virtual void SelectionChanged() = 0;
  // Every row is gone, or top-level rows moved: show the model anew.
  virtual void Reset() = 0;
};

class TimerPeer {
 public:
  virtual ~TimerPeer() = default;
  // Mode 0 off, 1 once, 2 repeating; period in milliseconds.
  virtual void Schedule(int32_t mode, int32_t period) = 0;
};

struct FolderDialogTexts {
  String actionButtonCaption;
  String title;
  String promptText;
};

class Display {
 public:
  virtual ~Display() = default;

  virtual std::unique_ptr<WindowPeer> CreateWindowPeer(Window& model) = 0;
  virtual std::unique_ptr<ListboxPeer> CreateListboxPeer(WindowPeer& parent,
                                                         Listbox& model) = 0;
  virtual std::unique_ptr<ControlPeer> CreateButtonPeer(WindowPeer& parent,
                                                        BevelButton& model) = 0;
  virtual std::unique_ptr<TimerPeer> CreateTimerPeer(Timer& model) = 0;

  // A modal message box; returns when the user has dismissed it.
  virtual void ShowMessage(const String& text) = 0;
  // A modal folder chooser; the absolute path of the chosen folder, or
  // nothing on cancel.
  virtual std::optional<std::string> ChooseFolder(const FolderDialogTexts& texts) = 0;

  // The event loop; returns once Quit was called and the handler in
  // progress has finished.
  virtual void Run() = 0;
  virtual void Quit() = 0;
  // A turn for the loop's other cooperative work inside a long handler.
  virtual void BackgroundTask() {}

  // An exception that no code caught, already written to standard error;
  // the display may show it to the user as well.
  virtual void ShowUnhandledException(const std::string& text) = 0;

  // The screens' usable areas, the main screen first.
  virtual std::vector<Rect> Screens() const = 0;
  // Where a new window of that content size goes when nothing places it.
  virtual Rect DefaultPlacement(int32_t width, int32_t height) const;
};

}  // namespace platform
