// The palette window's timer class: the framework's timer, owned by the
// window it is placed on.
#pragma once

#include "platform/registry.h"
#include "platform/control.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace palette {

class Window1Timer1 : public platform::Timer, public platform::PaneChild {
 public:
  static constexpr const char* kClassName = "Window1.Timer1";

  ~Window1Timer1() override;
  const platform::ClassInfo* Class() const override;

  virtual void Constructor() {}
  void SetWindow(const platform::Ref<platform::Window>& window) override;
  platform::Ref<platform::Window> Window() override;
  int32_t GetIndex() override { return Index; }
  void SetIndex(int32_t index) override { Index = index; }

  int32_t Index = 0;

 private:
  platform::Ref<platform::Window> ownerWindow;
};

platform::ClassInfo Window1Timer1Record();

}  // namespace palette
