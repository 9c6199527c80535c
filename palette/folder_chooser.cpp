// The button under the list: the user picks another scripts folder.
#include "bridge/bridge.h"
#include "palette/window1.h"
#include "platform/bevelbutton.h"
#include "platform/dialogs.h"
#include "platform/folderitem.h"
#include "platform/variant.h"

namespace palette {

void Window1::BevelButton1_Action(Ref<platform::BevelButton> me) {
  (void)me;
  try {
    Ref<platform::SelectFolderDialog> dialog = platform::New<platform::SelectFolderDialog>();
    bridge::acctivemyapp(platform::MakeList());
    dialog->ActionButtonCaption = "選択";
    dialog->Title = "スクリプトフォルダ指定";
    dialog->PromptText = "スクリプトフォルダを選択してください。";
    SetVisible(false);
    Ref<platform::FolderItem> chosen = dialog->ShowModal();
    SetVisible(true);
    AI_ACCTIVE();
    if (chosen) {
      gMyScriptFolder = chosen;
      setLB1();
    }
  } catch (const std::exception&) {
    // A failed choice changes nothing further; the visibility timer shows a
    // palette that the failure left hidden.
  }
}

}  // namespace palette
