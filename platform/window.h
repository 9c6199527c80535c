// The window: its bounds and visibility, its menu bar and its controls,
// shown through a peer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/display.h"
#include "platform/object.h"
#include "platform/properties.h"
#include "platform/text.h"

namespace platform {

class MenuBar;

class Window : public Object, public PropertyHolder {
 public:
  // The content size limits of a window whose properties set none.
  static constexpr int32_t kMinSize = 64;
  static constexpr int32_t kMaxSize = 32000;

  Window();
  ~Window() override;

  // The framework's construction: registers the window, makes its peer and
  // raises Layout, CreateControls and Open, in that order.
  void Constructor();

  // Where the window is now, also right after the user moved it.
  int32_t Left() const { return Settled().left; }
  int32_t Top() const { return Settled().top; }
  int32_t Width() const { return Settled().width; }
  int32_t Height() const { return Settled().height; }
  void SetLeft(int32_t v);
  void SetTop(int32_t v);
  // Kept between the window's minimum and maximum size.
  void SetWidth(int32_t v);
  void SetHeight(int32_t v);
  Rect Bounds() const { return Settled(); }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  String Title() const { return TextProperty("Title"); }
  Ref<platform::MenuBar> MenuBar() const { return menuBar_; }
  void SetMenuBar(const Ref<platform::MenuBar>& bar);

  // A new control object of class T, allocated through the window and not
  // yet constructed or added.
  template <class T>
  Ref<T> New() {
    return platform::New<T>();
  }
  void AddControl(const std::string& name, const Ref<Object>& control);
  // The control registered under that name, or nil.
  Ref<Object> ControlByName(const std::string& name) const;
  const std::vector<std::pair<std::string, Ref<Object>>>& Controls() const {
    return controls_;
  }

  // The window closes: raises Close, leaves the framework's registries and
  // lets its peer and controls go.
  void Close();
  bool IsOpen() const { return open_; }
  // The runtime ends with the window still open (start-up failed): it goes
  // as on a close, but without raising Close, whose handlers may need what
  // is already gone.
  void Discard();

  // What the user did, reported by the peer.
  void UserMoved(const Rect& bounds);
  void UserClose();

  WindowPeer* peer() const { return peer_.get(); }

 protected:
  void PropertyChanged(const std::string& name, const PropertyValue& value) override;

 private:
  void RaiseWindowEvent(const std::string& event);
  void TearDown();
  const Rect& Settled() const;
  void KeepOnScreen();
  // Kept between the minimum and the maximum, whatever the properties say.
  SizeLimits Limits() const;
  void ShowBounds();
  void ShowFrame();
  void ShowMenuBar();

  Rect bounds_{0, 0, 100, 100};
  bool visible_ = true;
  bool open_ = false;
  bool shown_ = false;  // Open has run and the peer shows the window
  Ref<platform::MenuBar> menuBar_;
  std::vector<std::pair<std::string, Ref<Object>>> controls_;
  std::unique_ptr<WindowPeer> peer_;
};

}  // namespace platform
