// Interrupting the user: the palette takes the front for the message and
// hands it back to the host afterwards.
#include "bridge/bridge.h"
#include "palette/window1.h"
#include "platform/applevent.h"
#include "platform/dialogs.h"
#include "platform/object.h"
#include "platform/variant.h"

namespace palette {

void Window1::my_msgbox(const String& msg) {
  bridge::acctivemyapp(platform::MakeList());
  platform::MsgBox(msg);
  AI_ACCTIVE();
}

void Window1::AI_ACCTIVE() {
  Ref<platform::AppleEvent> activate = platform::NewAppleEvent("misc", "actv", "ART5");
  if (!activate) throw platform::NilObjectException();
  if (!activate->Send()) platform::MsgBox("Illustratorを起動してください。");
}

}  // namespace palette
