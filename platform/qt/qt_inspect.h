// What the Qt display shows, in plain types, and the hand of a user on it:
// for tests, which see no Qt header.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/display.h"

namespace platform {
class Object;
}

namespace platform::qtinspect {

struct MenuEntry {
  std::string text;
  std::string shortcut;  // as Qt writes it, "Ctrl+Q"; empty for none
  bool separator = false;
  bool enabled = false;
};
struct Menu {
  std::string title;
  std::vector<MenuEntry> entries;
};

struct WindowView {
  bool exists = false;  // the model's window has a widget
  bool visible = false;
  std::string title;
  Rect frame;    // the top-level widget, menu bar included, on the screen
  Rect content;  // the content area, on the screen
  Rect menuBar;  // within the top-level widget; empty when it has none
  int32_t minWidth = 0, minHeight = 0;  // of the content area
  int32_t maxWidth = 0, maxHeight = 0;
  int32_t frameMinHeight = 0, frameMaxHeight = 0;  // of the whole window
  bool floating = false;                // a tool window that stays on top
  std::vector<Menu> menus;
};
WindowView InspectWindow(const Window& window);
// The windows' top-level widgets not yet deleted.
int LiveWindowWidgets();

// The control's widget on its window's content area; empty when none.
Rect ControlGeometry(const Object& control);
struct ButtonView {
  std::string text;
  double pointSize = 0;
  bool captionFits = false;  // the caption's width is within the label's room
  // The size a plain walk finds: down from the size asked for in half-point
  // steps, measuring each, to the first at which the caption fits.
  double stepwisePointSize = 0;
};
ButtonView InspectButton(const BevelButton& button);

struct ListView {
  // The rows the view shows, top to bottom: two spaces per level, then
  // "+ " for a collapsed folder and "- " for an expanded one, then the
  // first column's text.
  std::vector<std::string> rows;
  std::vector<int32_t> rowHeights;      // as drawn, in pixels
  std::vector<int32_t> rowHintHeights;  // what each row's text asks for
  std::vector<bool> rowsDrawable;       // the view's font has every character
  int32_t current = -1;  // position of the current row among `rows`
  int32_t columns = 0;
  int32_t pointSize = 0;
  bool headerHidden = false;
  bool hierarchical = false;  // rows open and close by a disclosure mark
  bool horizontalBarNever = false;
  bool verticalBarAsNeeded = false;
};
ListView InspectList(const Listbox& list);

// Runs the event loop for that long (deleting what was let go).
void ProcessEvents(int milliseconds);
// Runs the event loop until `done` or the time is up; answers `done`.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

// The user's hand, on the row at that position in the view.
void ClickDisclosure(const Listbox& list, int32_t row);
void ClickRow(const Listbox& list, int32_t row);
void DoubleClickRow(const Listbox& list, int32_t row);
// A click on the button's widget.
void ClickButton(const BevelButton& button);
// The user drags the window's edge until the content area has that size.
void ResizeByUser(const Window& window, int32_t width, int32_t height);
// The window manager's close button.
void CloseByUser(const Window& window);
bool TriggerMenuItem(const Window& window, int32_t menu, int32_t entry);

struct ModalView {
  std::string title;
  std::string text;                 // a message box's text
  std::vector<std::string> labels;  // the visible labels, top to bottom
  std::string acceptText;           // the accepting button's caption
  std::string rejectText;           // the cancelling button's caption
  bool staysOnTop = false;
  bool overWindow = false;  // its parent is one of the framework's windows
  bool foldersOnly = false;  // a file dialog that picks folders only
};
// The next modal window is looked at, then answered: a file dialog picks
// `folder` (cancels without one), anything else is accepted.
void AnswerNextModal(std::function<void(const ModalView&)> look,
                     std::optional<std::string> folder = std::nullopt);

// Runs `work` from the event loop once `milliseconds` have passed.
void RunLater(int milliseconds, std::function<void()> work);

bool SaveScreenshot(const Window& window, const std::string& path);

}  // namespace platform::qtinspect
