// The one display interface. The framework's objects keep their own state;
// a display shows them through peers and reports what the user does back to
// them. Two implementations: Qt Widgets (the real one) and a scripted one
// for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/object.h"
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

// A control's place on its window: the rectangle it was designed at, the
// window's content size at that time, and the edges it keeps its distance
// to as the window changes size.
struct Size {
  int32_t width = 0, height = 0;
};
struct Locks {
  bool left = false, top = false, right = false, bottom = false;
};

// What a window shows around its content area (its menu bar), in pixels.
struct Margins {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The sizes the user may give a window's content area.
struct SizeLimits {
  int32_t minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0;
};

enum class WindowFrame {
  kDocument = 0,
  kGlobalFloating = 7,  // floats above every application's windows
};
struct WindowButtons {
  bool close = true, minimize = true, maximize = true;
};

enum class TimerMode { kOff = 0, kSingle = 1, kMultiple = 2 };

// What a display is told of a window. The model calls each operation once
// on a new peer, then again whenever that part of it changes.
class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  virtual void SetTitle(const String& title) = 0;
  // The content area's place on the screen, menu bar excluded.
  virtual void SetBounds(const Rect& content) = 0;
  // Applies to the content area, when the frame lets the user resize it.
  virtual void SetSizeLimits(const SizeLimits& limits) = 0;
  // A window that is not resizeable keeps the size its bounds give it.
  virtual void SetFrame(WindowFrame frame, const WindowButtons& buttons, bool resizeable) = 0;
  // The first call comes once the window has opened.
  virtual void SetVisible(bool visible) = 0;
  // Nil or not visible: the window shows no menu bar.
  virtual void SetMenuBar(const Ref<MenuBar>& bar, bool visible) = 0;
  // A move or resize by the user that the model has not been told of yet
  // is told now.
  virtual void SettleBounds() = 0;
  // What the window shows around a content area `width` wide (its menu
  // bar), in pixels on each side.
  virtual Margins FrameMargins(int32_t width) const = 0;
};

class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  // `reference` empty: the size the window's content area has now.
  virtual void SetBounds(const Rect& design, const Size& reference, const Locks& locks) = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  // In points, as the model keeps it; the peer decides what 0 means.
  virtual void SetTextSize(int32_t size) = 0;
  // The control's Name, by which the toolkit's own tools find its widget.
  virtual void SetName(const String& name) = 0;
};

class ButtonPeer : public ControlPeer {
 public:
  virtual void SetCaption(const String& caption) = 0;
};

// Rows are addressed as the list's tree: a top-level row, and for a child
// row its place under that row (child -1 is the top-level row itself). Each
// call comes after the Listbox has made the change, and the Listbox answers
// the tree as the peer has been told of it (Listbox::ShownChildCount).
class ListboxPeer : public ControlPeer {
 public:
  virtual void SetColumnCount(int32_t count) = 0;
  // Under top-level row `parentTop`, or at the top level for -1.
  virtual void RowsInserted(int32_t parentTop, int32_t first, int32_t count) = 0;
  virtual void RowsRemoved(int32_t parentTop, int32_t first, int32_t count) = 0;
  virtual void CellChanged(int32_t top, int32_t child, int32_t column) = 0;
  virtual void ExpandedChanged(int32_t top) = 0;
  virtual void SelectionChanged() = 0;
  // Every row is gone: show the model anew.
  virtual void Reset() = 0;
};

class TimerPeer {
 public:
  virtual ~TimerPeer() = default;
  // Replaces what was scheduled; `period` in milliseconds.
  virtual void Schedule(TimerMode mode, int32_t period) = 0;
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
  virtual std::unique_ptr<ButtonPeer> CreateButtonPeer(WindowPeer& parent,
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

// What a display is told of the application it serves.
struct DisplayOptions {
  // Titles its message boxes, and begins what is said when no display can
  // be opened.
  std::string applicationName;
  // Ends what is said when no display can be opened: how to get one.
  std::string noDisplayHint;
  // The language of the toolkit's own texts ("Cancel" in a dialog), such
  // as "ja"; empty: as the toolkit has them.
  std::string language;
};

}  // namespace platform
