// The push button.
#pragma once

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
  std::unique_ptr<ControlPeer> peer_;
};

}  // namespace platform
