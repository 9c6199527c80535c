#include "platform/dialogs.h"

#include <optional>
#include <string>

#include "platform/display.h"
#include "platform/folderitem.h"
#include "platform/runtime.h"

namespace platform {

void MsgBox(const String& text) { CurrentDisplay().ShowMessage(text); }

Ref<FolderItem> FolderItemDialog::ShowModal() {
  const std::optional<std::string> chosen =
      CurrentDisplay().ChooseFolder(FolderDialogTexts{ActionButtonCaption, Title, PromptText});
  if (!chosen) return nullptr;
  return GetFolderItem(String(*chosen), 0);
}

}  // namespace platform
