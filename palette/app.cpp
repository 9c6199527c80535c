#include "palette/app.h"

#include <cstdio>
#include <string>

#include "palette/configuration.h"
#include "palette/timer1.h"
#include "palette/window1.h"
#include "platform/bevelbutton.h"
#include "platform/runtime.h"
#include "platform/window.h"

namespace palette {

using platform::ClassInfo;
using platform::ClassRegistry;
using platform::Ref;

const ClassInfo* App::Class() const { return &ClassRegistry::Instance().Get("App"); }
const ClassInfo* MenuBar1::Class() const {
  return &ClassRegistry::Instance().Get("MenuBar1.MenuBar1");
}

namespace {

struct MenuRow {
  const char* name;
  bool quit;
  const char* text;
  const char* shortcut;  // nullptr: never assigned
};

// The File menu holds Quit alone.
constexpr MenuRow kFileMenu{"FileMenu", false, "ファイル", ""};
constexpr MenuRow kFileItems[] = {{"FileQuit", true, "終了", "Cmd+Q"}};
// The Edit menu and its items, top to bottom.
constexpr MenuRow kEditMenu{"EditMenu", false, "編集", ""};
constexpr MenuRow kEditItems[] = {
    {"EditUndo", false, "元に戻す", "Cmd+Z"},
    {"UntitledMenu1", false, "-", nullptr},
    {"EditCut", false, "カット", "Cmd+X"},
    {"EditCopy", false, "コピー", "Cmd+C"},
    {"EditPaste", false, "貼り付け", "Cmd+V"},
    {"EditClear", false, "削除", ""},
    {"UntitledMenu0", false, "-", nullptr},
    {"EditSelectAll", false, "すべてを選択", "Cmd+A"},
};

void Configure(platform::MenuItem& item, const MenuRow& row) {
  item.SetName(row.name);
  item.SetAutoEnable(true);
  item.SetText(row.text);
  if (row.shortcut) item.SetKeyboardShortcut(row.shortcut);
}

// Builds one menu: the menu goes on the bar before its first item is made,
// and each item, fully configured, is appended to the menu looked up anew
// by name.
template <std::size_t N>
void BuildMenu(platform::MenuBar& bar, const MenuRow& menuRow, const MenuRow (&items)[N]) {
  Ref<platform::MenuItem> menu = platform::New<platform::MenuItem>();
  menu->Constructor();
  Configure(*menu, menuRow);
  bar.Append(menu);
  for (const MenuRow& row : items) {
    Ref<platform::MenuItem> item = row.quit ? Ref<platform::MenuItem>(platform::New<platform::QuitMenuItem>())
                                            : platform::New<platform::MenuItem>();
    item->Constructor();
    Configure(*item, row);
    bar.Child(menuRow.name)->Append(item);
  }
}

}  // namespace

void MenuBar1::Constructor() {
  Untitled0();
  Untitled1();
}

void MenuBar1::Untitled0() { BuildMenu(*this, kFileMenu, kFileItems); }
void MenuBar1::Untitled1() { BuildMenu(*this, kEditMenu, kEditItems); }

namespace implicit {

Ref<palette::MenuBar1> implicitInstance;

Ref<palette::MenuBar1> MenuBar1() {
  if (!implicitInstance) {
    Ref<palette::MenuBar1> bar = platform::New<palette::MenuBar1>();
    bar->Constructor();
    implicitInstance = bar;  // only once it is fully built
  }
  return implicitInstance;
}

void ExitImplicitInstance() { implicitInstance.reset(); }

Ref<palette::Window1> Window1() {
  Ref<platform::Window> window = platform::GetImplicitWindow(palette::Window1::kClassName);
  if (!window) {
    Ref<palette::Window1> made = platform::New<palette::Window1>();
    made->Constructor();
    window = made;
  }
  return platform::Cast<palette::Window1>(window);
}

}  // namespace implicit

namespace {

ClassInfo AppRecord() {
  ClassInfo info;
  info.name = "App";
  info.baseName = "Application";
  info.attributes = {{"__Scope", "Public"}};
  return info;
}

ClassInfo MenuBar1Record() {
  ClassInfo info;
  info.name = "MenuBar1.MenuBar1";
  info.baseName = "MenuBar";
  info.attributes = {{"__Scope", "Public"}};
  info.virtualSlots = {"Untitled0", "Untitled1"};
  info.members = {{"Constructor", "%%", {{"__Scope", "Public"}}},
                  {"Untitled0", "%%", {{"__Scope", "Public"}}},
                  {"Untitled1", "%%", {{"__Scope", "Public"}}}};
  return info;
}

void RuntimeInitExternalClasses() {}
// The button is one of the framework's plugin controls; its entry points
// must be known before any window makes one.
void InitPluginEntrypoints() { ClassRegistry::Instance().Get("BevelButton"); }

}  // namespace

void Initialize() {
  platform::RegisterFrameworkClasses();
  ClassRegistry& r = ClassRegistry::Instance();
  r.Declare("App", AppRecord);
  r.Declare(Window1::kClassName, Window1Record);
  r.Declare(Window1Timer1::kClassName, Window1Timer1Record);
  r.Declare("MenuBar1.MenuBar1", MenuBar1Record);
  for (const char* name :
       {"App", Window1::kClassName, Window1Timer1::kClassName, "MenuBar1.MenuBar1"}) {
    r.Get(name);
  }
}

void InitFileTypes() {}

void NewAppInstance() {
  Ref<App> app = platform::New<App>();
  if (!app) throw platform::NilObjectException();
  app->SetMenuBar(implicit::MenuBar1());
  platform::RuntimeRegisterAppObject(app);
}

void ApplicationAddMenuHandlers() {}

void MakeDefaultView() { (void)implicit::Window1(); }

void Main() {
  try {
    RuntimeInitExternalClasses();
    InitPluginEntrypoints();
    InitFileTypes();
    NewAppInstance();
    ApplicationAddMenuHandlers();
    MakeDefaultView();
    platform::RuntimeRun();
  } catch (...) {
    platform::UnhandledException(std::current_exception());
    platform::StartupFailed();
  }
}

void Finalize() {
  platform::ReleaseImplicitWindows();
  platform::ReleaseWindowLists();
  platform::ReleaseReflectionCaches();
  implicit::ExitImplicitInstance();
}

namespace {

// The runtime is shut down however the main routine is left, so that no
// window outlives the display it is shown on.
struct RuntimeUp {
  explicit RuntimeUp(platform::Display& display) { platform::RuntimeInit(display); }
  ~RuntimeUp() {
    if (up) platform::RuntimeShutdown();
  }
  int Shutdown() {
    up = false;
    return platform::RuntimeShutdown();
  }
  bool up = true;
};

}  // namespace

int MainRoutine(platform::Display& display) {
  RuntimeUp runtime(display);
  Initialize();
  Main();
  Finalize();
  return runtime.Shutdown();
}

int Program(const DisplayMaker& makeDisplay) {
  try {
    Configure();
    std::string error;
    std::unique_ptr<platform::Display> display = makeDisplay(&error);
    if (!display) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 2;
    }
    return MainRoutine(*display);
  } catch (...) {
    platform::ReportProgramEnding(std::current_exception());
    return 1;
  }
}

}  // namespace palette
