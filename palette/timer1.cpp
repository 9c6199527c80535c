#include "palette/timer1.h"

namespace palette {

Window1Timer1::~Window1Timer1() { ownerWindow.reset(); }

const platform::ClassInfo* Window1Timer1::Class() const {
  return &platform::ClassRegistry::Instance().Get(kClassName);
}

void Window1Timer1::SetWindow(const platform::Ref<platform::Window>& window) {
  ownerWindow = window;
}

platform::Ref<platform::Window> Window1Timer1::Window() { return ownerWindow; }

platform::ClassInfo Window1Timer1Record() {
  platform::ClassInfo info;
  info.name = Window1Timer1::kClassName;
  info.baseName = "Timer";
  info.interfaces = {"actionSource", "_PaneChild"};
  info.virtualSlots = {"_SetWindow", "Window", "_Index", "_SetIndex", "Constructor"};
  info.attributes = {{"__Scope", "Private"}};
  info.members = {
      {"_SetWindow", "%%o<Window>", {{"__Scope", "Public"}, {"Hidden", ""}}},
      {"Window", "%o<Window>%", {{"__Scope", "Public"}}},
      {"_Index", "%i4%", {{"__Scope", "Public"}, {"Hidden", ""}}},
      {"_SetIndex", "%%i4", {{"__Scope", "Public"}, {"Hidden", ""}}},
      {"Constructor", "%%", {{"__Scope", "Public"}}},
  };
  info.properties = {{"Index", "i4", {{"__Scope", "Public"}}},
                     {"ownerWindow", "o<Window>", {{"__Scope", "Private"}}}};
  return info;
}

}  // namespace palette
