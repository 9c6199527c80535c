// The palette window: its fields, its methods and the controls it reaches
// by name.
#pragma once

#include "platform/folderitem.h"
#include "platform/menu.h"
#include "platform/registry.h"
#include "platform/bevelbutton.h"
#include "platform/listbox.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace palette {

using platform::Ref;
using platform::String;

class Window1 : public platform::Window {
 public:
  static constexpr const char* kClassName = "Window1.Window1";
  static constexpr const char* kTitle = "Tessalineパレット";

  Window1() = default;
  // Releases gMyPref, then gMyScriptFolder, then gAiver.
  ~Window1() override;
  const platform::ClassInfo* Class() const override;

  // Fields. A new window has both items nil and the text empty.
  Ref<platform::FolderItem> gMyPref;
  Ref<platform::FolderItem> gMyScriptFolder;
  String gAiver;

  // Creation: the window's design-time values and its controls.
  virtual void Layout();
  virtual void CreateControls();
  virtual void CreateControls0();

  // Script tree.
  virtual void LB1_ExpandRow(Ref<platform::Listbox> me, int32_t row);
  virtual void LB1_CollapseRow(Ref<platform::Listbox> me, int32_t row);
  // Script launcher.
  virtual void LB1_DoubleClick(Ref<platform::Listbox> me);
  // Scripts folder chooser.
  virtual void BevelButton1_Action(Ref<platform::BevelButton> me);
  // Visibility timer.
  virtual void Timer1_Action(Ref<platform::Timer> me);

  // Menu-item accessors, each finding the item of its own name in the
  // window's menu bar.
  virtual Ref<platform::MenuItem> EditMenu();
  virtual Ref<platform::MenuItem> EditSelectAll();
  virtual Ref<platform::MenuItem> UntitledMenu0();
  virtual Ref<platform::MenuItem> EditClear();
  virtual Ref<platform::MenuItem> EditPaste();
  virtual Ref<platform::MenuItem> EditCopy();
  virtual Ref<platform::MenuItem> EditCut();
  virtual Ref<platform::MenuItem> UntitledMenu1();
  virtual Ref<platform::MenuItem> EditUndo();
  virtual Ref<platform::MenuItem> FileMenu();
  virtual Ref<platform::QuitMenuItem> FileQuit();

  // Host detection and the preferences file.
  virtual void Event_Open();
  virtual void Event_Close();

  virtual void setLB1();
  // Host activation and messages.
  virtual void my_msgbox(const String& msg);
  // Spelt as the system has always spelt it: kept on purpose, not a typo.
  virtual void AI_ACCTIVE();
  virtual void goscript(Ref<platform::FolderItem> file, const String& name);

  // The controls, looked up by name each time. LB1 is the list's name as the
  // system has always had it, kept on purpose.
  Ref<platform::Listbox> LB1() const;
  Ref<platform::BevelButton> BevelButton1() const;
  Ref<platform::Timer> Timer1() const;
};

// The design-time property blocks, in table order.
const platform::PropertyBlock& WindowBlock();
const platform::PropertyBlock& ListBlock();
const platform::PropertyBlock& ButtonBlock();
const platform::PropertyBlock& TimerBlock();

// The class record of Window1.
platform::ClassInfo Window1Record();

}  // namespace palette
