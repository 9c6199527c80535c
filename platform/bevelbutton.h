// The push button.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/control.h"
#include "platform/display.h"
#include "platform/properties.h"
#include "platform/text.h"

namespace platform {

class BevelButton : public RectControl {
 public:
  String Caption() const { return TextProperty("Caption"); }
  // The user pressed the button.
  void Push();
  void Realize(Display& display, WindowPeer& parent) override;
  void Unrealize() override;

 private:
  void PropertyChanged(const std::string& name, const PropertyValue& value) override;
  int32_t TextSize() const { return IntProperty("TextSize", 0); }
  std::unique_ptr<ButtonPeer> peer_;
};

}  // namespace platform
