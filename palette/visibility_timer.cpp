// The palette shows itself only while the host or the palette itself is
// the frontmost application.
#include "bridge/bridge.h"
#include "palette/app.h"
#include "palette/window1.h"
#include "platform/timer.h"

namespace palette {

void Window1::Timer1_Action(Ref<platform::Timer> me) {
  (void)me;
  const String front = bridge::frontAppli(platform::MakeList());
  Ref<Window1> palette = implicit::Window1();
  if (front == "Illustrator") {
    palette->SetVisible(true);
  } else if (front == kTitle) {
    palette->SetVisible(true);
  } else {
    palette->SetVisible(false);
  }
}

}  // namespace palette
