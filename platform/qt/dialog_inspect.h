// What Qt's own texts and the folder dialog show, in plain types: for the
// dialog tests, which see no Qt header.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {
class Window;
}

namespace platform::dialoginspect {

// The window's menus as they are drawn: "[title]" for each menu, then one
// line per entry, its text and, after a tab, its shortcut label; "-" for a
// separator.
std::vector<std::string> ShownMenus(const Window& window);

// Qt's own text for `source` in `context`, in the language Qt speaks now.
std::string QtText(const char* context, const char* source);

// From now on, every change of the application's language is counted.
void CountLanguageChanges();
int LanguageChanges();

struct FolderDialogView {
  bool rowFound = false;  // the entry's row, with its details, came up
  std::vector<std::string> headers;  // the details view's column titles
  std::string type, date;            // the row's cells
  // The cell's text whole in its column, and the column within the view.
  bool typeFits = false, dateFits = false;
  bool screenshotSaved = false;
};
// The next modal window, a folder dialog, is shown on `folder`; once the
// row of `entry` has its details it is looked at, saved as a PNG picture
// at `screenshot`, and cancelled.
void LookAtNextFolderDialog(const std::string& folder, const std::string& entry,
                            const std::string& screenshot,
                            std::function<void(const FolderDialogView&)> look);

}  // namespace platform::dialoginspect
