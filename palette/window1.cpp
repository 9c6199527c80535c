#include "palette/window1.h"

#include <limits>

#include "palette/app.h"
#include "palette/timer1.h"
#include "platform/bevelbutton.h"
#include "platform/events.h"
#include "platform/listbox.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace palette {

using platform::Color;
using platform::PropertyBlock;

Window1::~Window1() {
  gMyPref.reset();
  gMyScriptFolder.reset();
  gAiver = String();
}

const platform::ClassInfo* Window1::Class() const {
  return &platform::ClassRegistry::Instance().Get(kClassName);
}

const PropertyBlock& WindowBlock() {
  static const PropertyBlock block = {
      {"Placement", 0},          {"Width", 150},
      {"Height", 200},           {"MinWidth", 64},
      {"MinHeight", 64},         {"MaxWidth", 32000},
      {"MaxHeight", 32000},      {"Frame", 7},
      {"Composite", false},      {"HasBackColor", false},
      {"BackColor", Color{255, 255, 255}},
      {"Title", String(Window1::kTitle)},
      {"Visible", true},         {"FullScreen", false},
      {"MenuBarVisible", true},  {"CloseButton", true},
      {"Resizeable", true},      {"LiveResize", true},
      {"MaximizeButton", false}, {"MinimizeButton", true},
      {"MacProcID", 0},
  };
  return block;
}

namespace {
constexpr int32_t kNoIndex = std::numeric_limits<int32_t>::min();
}

const PropertyBlock& ListBlock() {
  static const PropertyBlock block = {
      {"Name", String("LB1")},
      {"Index", kNoIndex},
      {"Left", 0},
      {"Top", 0},
      {"Width", 150},
      {"Height", 174},
      {"LockLeft", true},
      {"LockTop", true},
      {"LockRight", true},
      {"LockBottom", true},
      {"TabPanelIndex", 0},
      {"TabIndex", 0},
      {"TabStop", true},
      {"Visible", true},
      {"HelpTag", String()},
      {"AutoDeactivate", true},
      {"Enabled", true},
      {"Border", true},
      {"ColumnCount", 2},
      {"ColumnWidths", String()},
      {"HasHeading", false},
      {"UseFocusRing", true},
      {"InitialValue", String()},
      {"HeadingIndex", -1},
      {"ScrollbarHorizontal", false},
      {"ScrollBarVertical", true},
      {"GridLinesHorizontal", 0},
      {"GridLinesVertical", 0},
      {"DefaultRowHeight", -1},
      {"_ScrollWidth", -1},
      {"_ScrollOffset", 0},
      {"TextFont", String("System")},
      {"TextSize", 10},
      {"Bold", false},
      {"Italic", false},
      {"Underline", false},
      {"Hierarchical", true},
      {"EnableDrag", false},
      {"EnableDragReorder", false},
      {"RequiresSelection", false},
      {"SelectionType", 0},
      {"ColumnsResizable", false},
      {"AutoHideScrollbars", true},
      {"DataSource", String()},
      {"DataField", String()},
      {"InitialParent", String()},
  };
  return block;
}

const PropertyBlock& ButtonBlock() {
  static const PropertyBlock block = {
      {"Name", String("BevelButton1")},
      {"Index", kNoIndex},
      {"Left", 5},
      {"Top", 177},
      {"Width", 140},
      {"Height", 20},
      {"LockLeft", true},
      {"LockTop", false},
      {"LockRight", true},
      {"LockBottom", true},
      {"TabPanelIndex", 0},
      {"TabIndex", 1},
      {"TabStop", true},
      {"InitialParent", String()},
      {"Visible", true},
      {"HelpTag", String()},
      {"AutoDeactivate", true},
      {"Enabled", true},
      {"Caption", String("スクリプトフォルダ選択")},
      {"CaptionAlign", 3},
      {"CaptionPlacement", 1},
      {"CaptionDelta", 0},
      {"IconAlign", 0},
      {"IconDX", 0},
      {"IconDY", 0},
      {"Bevel", 0},
      {"HasMenu", 0},
      {"Value", false},
      {"MenuValue", 0},
      {"ButtonType", 0},
      {"AcceptFocus", false},
      {"TextFont", String("System")},
      {"TextSize", 10},
      {"Bold", false},
      {"Italic", false},
      {"Underline", false},
  };
  return block;
}

const PropertyBlock& TimerBlock() {
  static const PropertyBlock block = {{"Mode", 2}, {"Period", 1000}};
  return block;
}

void Window1::Layout() {
  SetMenuBar(implicit::MenuBar1());
  platform::SetProperties(platform::RefTo(*this), WindowBlock());
}

void Window1::CreateControls() { CreateControls0(); }

void Window1::CreateControls0() {
  using platform::BindHandler;
  using platform::Cast;
  using platform::InstallInstanceEventHandler;

  Ref<platform::Listbox> list = New<platform::Listbox>();
  list->Constructor();
  AddControl("LB1", list);
  platform::SetProperties(Cast<platform::Listbox>(ControlByName("LB1")), ListBlock());
  Ref<platform::Listbox> lb1 = Cast<platform::Listbox>(ControlByName("LB1"));
  InstallInstanceEventHandler(lb1, "ExpandRow", BindHandler(&Window1::LB1_ExpandRow));
  InstallInstanceEventHandler(lb1, "CollapseRow", BindHandler(&Window1::LB1_CollapseRow));
  InstallInstanceEventHandler(lb1, "DoubleClick", BindHandler(&Window1::LB1_DoubleClick));

  Ref<platform::BevelButton> button = New<platform::BevelButton>();
  button->Constructor();
  AddControl("BevelButton1", button);
  platform::SetProperties(Cast<platform::BevelButton>(ControlByName("BevelButton1")),
                          ButtonBlock());
  InstallInstanceEventHandler(Cast<platform::BevelButton>(ControlByName("BevelButton1")),
                              "Action", BindHandler(&Window1::BevelButton1_Action));

  Ref<Window1Timer1> timer = New<Window1Timer1>();
  timer->Constructor();
  AddControl("Timer1", timer);
  platform::SetProperties(Cast<platform::Timer>(ControlByName("Timer1")), TimerBlock());
  InstallInstanceEventHandler(Cast<platform::Timer>(ControlByName("Timer1")), "Action",
                              BindHandler(&Window1::Timer1_Action));
}

Ref<platform::Listbox> Window1::LB1() const {
  return platform::Cast<platform::Listbox>(ControlByName("LB1"));
}
Ref<platform::BevelButton> Window1::BevelButton1() const {
  return platform::Cast<platform::BevelButton>(ControlByName("BevelButton1"));
}
Ref<platform::Timer> Window1::Timer1() const {
  return platform::Cast<platform::Timer>(ControlByName("Timer1"));
}

namespace {

template <class T>
Ref<T> LookupMenuItem(const Window1& window, const char* name) {
  Ref<platform::MenuBar> bar = window.MenuBar();
  return platform::Cast<T>(bar->Lookup(name));
}

}  // namespace

Ref<platform::MenuItem> Window1::EditMenu() {
  return LookupMenuItem<platform::MenuItem>(*this, "EditMenu");
}
Ref<platform::MenuItem> Window1::EditSelectAll() {
  return LookupMenuItem<platform::MenuItem>(*this, "EditSelectAll");
}
Ref<platform::MenuItem> Window1::UntitledMenu0() {
  return LookupMenuItem<platform::MenuItem>(*this, "UntitledMenu0");
}
Ref<platform::MenuItem> Window1::EditClear() {
  return LookupMenuItem<platform::MenuItem>(*this, "EditClear");
}
Ref<platform::MenuItem> Window1::EditPaste() {
  return LookupMenuItem<platform::MenuItem>(*this, "EditPaste");
}
Ref<platform::MenuItem> Window1::EditCopy() {
  return LookupMenuItem<platform::MenuItem>(*this, "EditCopy");
}
Ref<platform::MenuItem> Window1::EditCut() {
  return LookupMenuItem<platform::MenuItem>(*this, "EditCut");
}
Ref<platform::MenuItem> Window1::UntitledMenu1() {
  return LookupMenuItem<platform::MenuItem>(*this, "UntitledMenu1");
}
Ref<platform::MenuItem> Window1::EditUndo() {
  return LookupMenuItem<platform::MenuItem>(*this, "EditUndo");
}
Ref<platform::MenuItem> Window1::FileMenu() {
  return LookupMenuItem<platform::MenuItem>(*this, "FileMenu");
}
Ref<platform::QuitMenuItem> Window1::FileQuit() {
  return LookupMenuItem<platform::QuitMenuItem>(*this, "FileQuit");
}

platform::ClassInfo Window1Record() {
  platform::ClassInfo info;
  info.name = Window1::kClassName;
  info.baseName = "Window";
  info.attributes = {{"__Scope", "Public"}};
  info.handledEvents = {"Layout", "CreateControls", "Open", "Close"};
  const std::vector<platform::Attribute> pub = {{"__Scope", "Public"}};
  // The 25 methods in their order, each virtual.
  const std::vector<std::pair<const char*, const char*>> methods = {
      {"Layout", "%%"},
      {"CreateControls", "%%"},
      {"_CreateControls0", "%%"},
      {"LB1_ExpandRow", "%%i4"},
      {"LB1_CollapseRow", "%%i4"},
      {"LB1_DoubleClick", "%%"},
      {"BevelButton1_Action", "%%"},
      {"Timer1_Action", "%%"},
      {"EditMenu", "%o<MenuItem>%"},
      {"EditSelectAll", "%o<MenuItem>%"},
      {"UntitledMenu0", "%o<MenuItem>%"},
      {"EditClear", "%o<MenuItem>%"},
      {"EditPaste", "%o<MenuItem>%"},
      {"EditCopy", "%o<MenuItem>%"},
      {"EditCut", "%o<MenuItem>%"},
      {"UntitledMenu1", "%o<MenuItem>%"},
      {"EditUndo", "%o<MenuItem>%"},
      {"FileMenu", "%o<MenuItem>%"},
      {"FileQuit", "%o<QuitMenuItem>%"},
      {"Event_Open", "%%"},
      {"Event_Close", "%%"},
      {"setLB1", "%%"},
      {"my_msgbox", "%%s"},
      {"AI_ACCTIVE", "%%"},
      {"goscript", "%%o<FolderItem>s"},
  };
  for (const auto& [name, signature] : methods) {
    info.virtualSlots.push_back(name);
    platform::MemberInfo member{name, signature, pub};
    const bool generated = member.name == "_CreateControls0";
    if (generated) member.attributes.push_back({"Hidden", ""});
    info.members.push_back(std::move(member));
    // The control members are published right after the generated method.
    if (generated) {
      info.members.push_back({"LB1", "%o<Listbox>%s", pub});
      info.members.push_back({"BevelButton1", "%o<BevelButton>%s", pub});
      info.members.push_back({"Timer1", "%o<Timer>%s", pub});
    }
  }
  info.properties = {{"gMyPref", "o<FolderItem>", pub},
                     {"gMyScriptFolder", "o<FolderItem>", pub},
                     {"gAiver", "s", pub}};
  auto bind = [&info](const char* event, void (Window1::*method)()) {
    info.eventHandlers[event] = [method](platform::Object& object) {
      (dynamic_cast<Window1&>(object).*method)();
    };
  };
  bind("Layout", &Window1::Layout);
  bind("CreateControls", &Window1::CreateControls);
  bind("Open", &Window1::Event_Open);
  bind("Close", &Window1::Event_Close);
  return info;
}

}  // namespace palette
