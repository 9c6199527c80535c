// Menus: a menu bar is a menu item whose children are the menus, and each
// menu's children are its items.
#pragma once

#include <vector>

#include "platform/object.h"
#include "platform/text.h"

namespace platform {

class MenuItem : public Object {
 public:
  void Constructor() {}

  const String& Name() const { return name_; }
  void SetName(const String& name) { name_ = name; }
  const String& Text() const { return text_; }
  void SetText(const String& text) { text_ = text; }
  // "Cmd+Q" and the like; empty for no shortcut.
  const String& KeyboardShortcut() const { return shortcut_; }
  void SetKeyboardShortcut(const String& shortcut) {
    shortcut_ = shortcut;
    shortcutAssigned_ = true;
  }
  bool KeyboardShortcutAssigned() const { return shortcutAssigned_; }
  bool AutoEnable() const { return autoEnable_; }
  void SetAutoEnable(bool on) { autoEnable_ = on; }
  // An item whose text is "-" is drawn as a separator line.
  bool IsSeparator() const { return text_.str() == "-"; }

  int32_t Count() const { return static_cast<int32_t>(children_.size()); }
  Ref<MenuItem> Item(int32_t index) const;
  void Append(const Ref<MenuItem>& item);
  // The direct child of that Name, or nil.
  Ref<MenuItem> Child(const String& name) const;
  // The item of that Name among the children and their children, or nil.
  Ref<MenuItem> Lookup(const String& name) const;

  // The user chose the item. Plain items do nothing by default.
  virtual void Action() {}

 private:
  String name_, text_, shortcut_;
  bool shortcutAssigned_ = false;
  bool autoEnable_ = false;
  std::vector<Ref<MenuItem>> children_;
};

// Runs the framework's quit action when chosen.
class QuitMenuItem : public MenuItem {
 public:
  void Action() override;
};

class MenuBar : public MenuItem {};

}  // namespace platform
