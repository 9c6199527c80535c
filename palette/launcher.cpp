// A double-click on a row: folder rows open or close, a script runs by the
// extension of its name.
#include "bridge/bridge.h"
#include "palette/window1.h"
#include "platform/listbox.h"
#include "platform/text.h"

namespace palette {

void Window1::LB1_DoubleClick(Ref<platform::Listbox> me) {
  (void)me;
  Ref<platform::Listbox> list = LB1();
  if (list->ListIndex() < 0) return;  // nothing selected: nothing to open

  list->SetExpanded(list->ListIndex(), !list->Expanded(list->ListIndex()));
  if (list->Expanded(list->ListIndex())) return;
  // A folder row only opens or closes; its column 1 holds its child list,
  // not a parent's name, so there is nothing to look up.
  if (list->RowIsFolder(list->ListIndex())) return;

  const String parentName = list->Cell(list->ListIndex(), 1);
  const String name = list->Cell(list->ListIndex(), 0);
  if (name.IsEmpty()) return;

  Ref<platform::FolderItem> file;
  if (parentName.IsEmpty()) {
    file = gMyScriptFolder->Child(name);
  } else if (Ref<platform::FolderItem> parent = gMyScriptFolder->Child(parentName)) {
    file = parent->Child(name);
  }
  goscript(file, name);
}

void Window1::goscript(Ref<platform::FolderItem> file, const String& name) {
  if (!file) {
    my_msgbox(name + "が見つかりません");
    return;
  }
  const String extension = platform::NthField(name, ".", platform::CountFields(name, "."));
  auto pathList = [&file] { return platform::MakeList({platform::Variant(file->AbsolutePath())}); };
  if (extension == "scpt") {
    bridge::goas(pathList());
  } else if (extension == "app") {
    file->Launch(true);
  } else if (extension == "jsx" || extension == "js") {
    bridge::gojs(pathList());
  }
}

}  // namespace palette
