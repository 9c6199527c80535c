// The modal boxes and dialogs: the message box and the folder dialog.
#pragma once

#include "platform/object.h"
#include "platform/text.h"

namespace platform {

class FolderItem;

// A modal message box; returns when the user has dismissed it.
void MsgBox(const String& text);

class FolderItemDialog : public Object {
 public:
  String ActionButtonCaption;
  String Title;
  String PromptText;
  // Shown modally; the chosen folder, or nil on cancel.
  Ref<FolderItem> ShowModal();
};
class SelectFolderDialog : public FolderItemDialog {};

}  // namespace platform
