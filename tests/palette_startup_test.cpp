// Start-up and shut-down: the class registrations, the implicit instances,
// the palette window's class record and the menu bar it shares with the
// application.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "palette/app.h"
#include "palette/timer1.h"
#include "palette/window1.h"
#include "platform/menu.h"
#include "platform/registry.h"
#include "platform/runtime.h"
#include "tests/support/inspection.h"
#include "tests/support/palette_fixture.h"

namespace {

using palette::Window1;
using platform::ClassInfo;
using platform::ClassRegistry;
using platform::MenuItem;
using platform::Ref;
using testsupport::PaletteTest;
using Inspection = platform::ClassRegistryInspection;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class StartupTest : public PaletteTest {
 protected:
  // The palette opened on a scripts folder of its own, so that nothing
  // looks at the host's default folder.
  void Open() {
    scripts_ = MakeFolder("scripts", {"A.jsx", "Tools/b.scpt"});
    WritePrefs("10\n20\n150\n200\n" + scripts_.string() + "\n");
    Start();
  }

  fs::path scripts_;
};

// ----------------------------------------------------------- registrations

const Names kSystemClasses = {"App", "Window1.Window1", "Window1.Timer1", "MenuBar1.MenuBar1"};

TEST_F(StartupTest, InitializeBuildsTheFrameworksClassesThenTheSystemsInOrder) {
  ClassRegistry& registry = ClassRegistry::Instance();
  registry.ReleaseRecords();
  platform::RegisterFrameworkClasses();
  Names expected = Inspection::BuildOrder(registry);
  ASSERT_FALSE(expected.empty());
  expected.insert(expected.end(), kSystemClasses.begin(), kSystemClasses.end());

  registry.ReleaseRecords();
  palette::Initialize();
  EXPECT_EQ(Inspection::BuildOrder(registry), expected);

  // Each system class hangs under its framework base.
  const std::pair<const char*, const char*> bases[] = {{"App", "Application"},
                                                       {"Window1.Window1", "Window"},
                                                       {"Window1.Timer1", "Timer"},
                                                       {"MenuBar1.MenuBar1", "MenuBar"}};
  for (const auto& [name, base] : bases) {
    const ClassInfo& info = registry.Get(name);
    EXPECT_EQ(info.base, &registry.Get(base)) << name;
    EXPECT_TRUE(info.IsA("Object")) << name;
  }
  registry.ReleaseRecords();
}

TEST_F(StartupTest, AClassAskedForEarlyIsBuiltThenAndNeverAgain) {
  ClassRegistry& registry = ClassRegistry::Instance();
  registry.ReleaseRecords();
  platform::RegisterFrameworkClasses();
  const std::size_t frameworkCount = Inspection::BuildOrder(registry).size();
  registry.Declare(Window1::kClassName, palette::Window1Record);
  const ClassInfo* early = &registry.Get(Window1::kClassName);

  palette::Initialize();
  const Names& order = Inspection::BuildOrder(registry);
  EXPECT_EQ(std::count(order.begin(), order.end(), Window1::kClassName), 1);
  ASSERT_GT(order.size(), frameworkCount);
  EXPECT_EQ(order[frameworkCount], Window1::kClassName);  // built when asked for
  EXPECT_EQ(order.size(), frameworkCount + kSystemClasses.size());
  EXPECT_EQ(&registry.Get(Window1::kClassName), early);
  EXPECT_EQ(platform::New<Window1>()->Class(), early);

  // A builder runs once however often its class is asked for.
  int builds = 0;
  registry.Declare("Probe.Counted", [&builds] {
    ++builds;
    ClassInfo info;
    info.name = "Probe.Counted";
    info.baseName = "Object";
    return info;
  });
  const ClassInfo* first = &registry.Get("Probe.Counted");
  EXPECT_EQ(&registry.Get("Probe.Counted"), first);
  EXPECT_EQ(builds, 1);
  registry.ReleaseRecords();
}

// ---------------------------------------------------------- implicit window

TEST_F(StartupTest, ImplicitWindowAnswersTheOpenWindowWithoutRunningHandlers) {
  Open();
  ASSERT_EQ(Calls("getAiVer"), 1);
  const std::size_t logSize = display.Log().size();

  EXPECT_EQ(palette::implicit::Window1().get(), window.get());
  EXPECT_EQ(palette::implicit::Window1().get(), window.get());
  EXPECT_EQ(Calls("getAiVer"), 1);
  EXPECT_EQ(display.Log().size(), logSize);
  EXPECT_EQ(platform::OpenWindows().size(), 1u);
}

TEST_F(StartupTest, ImplicitWindowAfterCloseMakesAndOpensANewWindow) {
  Open();
  CloseWindow();
  EXPECT_FALSE(window->IsOpen());
  EXPECT_TRUE(platform::GetImplicitWindow(Window1::kClassName).IsNil());

  Ref<Window1> again = palette::implicit::Window1();
  ASSERT_FALSE(again.IsNil());
  EXPECT_NE(again.get(), window.get());
  EXPECT_EQ(Calls("getAiVer"), 2);  // Open ran for the new window
  EXPECT_TRUE(again->IsOpen());
  EXPECT_EQ(again->Title(), Window1::kTitle);                // Layout ran
  EXPECT_EQ(again->Controls().size(), 3u);                   // CreateControls ran
  EXPECT_EQ(again->gMyScriptFolder->AbsolutePath(), scripts_.string());  // Open read the file
  EXPECT_EQ(palette::implicit::Window1().get(), again.get());
}

TEST_F(StartupTest, StartedPaletteSharesOneMenuBarWithTheApplication) {
  Open();
  EXPECT_EQ(platform::GetImplicitWindow(Window1::kClassName).get(), window.get());
  ASSERT_EQ(platform::OpenWindows().size(), 1u);
  EXPECT_EQ(platform::OpenWindows().front().get(), window.get());
  EXPECT_EQ(window->Controls().size(), 3u);

  ASSERT_FALSE(platform::App().IsNil());
  platform::MenuBar* bar = window->MenuBar().get();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(platform::App()->MenuBar().get(), bar);
  EXPECT_EQ(palette::implicit::MenuBar1().get(), bar);
}

// ---------------------------------------------------------------- the frame

TEST_F(StartupTest, QuitFromTheMenuClosesTheWindowFirstAndEndsTheLoop) {
  scripts_ = MakeFolder("scripts", {"A.jsx"});
  WritePrefs("10\n20\n150\n200\n" + scripts_.string() + "\n");
  bool closedBeforeQuit = false;
  bool laterEventRan = false;
  display.Post([&] {
    Ref<Window1> palette = palette::implicit::Window1();
    palette->SetLeft(33);
    palette->FileQuit()->Action();
    closedBeforeQuit = platform::Quitting() && !palette->IsOpen() &&
                       ReadPrefs().rfind("33\n", 0) == 0;
  });
  display.Post([&] { laterEventRan = true; });

  EXPECT_EQ(palette::MainRoutine(display), 0);
  EXPECT_TRUE(closedBeforeQuit);
  EXPECT_FALSE(laterEventRan);
  EXPECT_EQ(display.RunCount(), 1);
  const std::string prefs = ReadPrefs();
  EXPECT_EQ(std::count(prefs.begin(), prefs.end(), '\n'), 5);
  EXPECT_EQ(prefs, "33\n20\n150\n200\n" + scripts_.string() + "\n");
  EXPECT_FALSE(LogHas("unhandled:"));
  EXPECT_TRUE(palette::implicit::implicitInstance.IsNil());
}

TEST_F(StartupTest, ExceptionDuringStartUpSkipsTheLoopIsReportedAndEndsAsAFailure) {
  host.failNext = "getAiVer";
  bool eventRan = false;
  display.Post([&] { eventRan = true; });

  testing::internal::CaptureStderr();
  const int status = palette::MainRoutine(display);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("tessaline: An unhandled"), std::string::npos) << err;
  EXPECT_EQ(display.RunCount(), 0);
  EXPECT_FALSE(eventRan);
  EXPECT_TRUE(LogHas("unhandled: "));
  EXPECT_EQ(Calls("getAiVer"), 1);
  EXPECT_FALSE(fs::exists(PrefsFile()));
}

TEST_F(StartupTest, TimerTickWhileTheFirstMessageIsUpReachesTheOneWindow) {
  // No preferences file and the host's folder is missing: Open's listing
  // shows its message, and the one-second tick comes while it is up. The
  // tick's handler finds the palette through the implicit accessor, which
  // must answer the window whose Open is still running.
  display.AnswerMessage([this] { display.AdvanceClock(1000); });
  Start();
  ASSERT_EQ(display.Messages(), (Names{"スクリプトファイルが読み込めませんでした。"}));
  EXPECT_EQ(Calls("frontAppli"), 1);
  EXPECT_EQ(Calls("getAiVer"), 1);
  EXPECT_EQ(platform::OpenWindows().size(), 1u);
}

// -------------------------------------------------------- window lifetime

TEST_F(StartupTest, FinalizeFreesAWindowThatNeverClosedWithoutRunningClose) {
  // As after a failed start-up: the window and its timer hold each other,
  // and only finalisation is left to let them go.
  Open();
  WritePrefs("untouched\n");
  std::weak_ptr<Window1> alive = window.shared();
  window.reset();
  palette::Finalize();
  EXPECT_TRUE(alive.expired());
  EXPECT_EQ(ReadPrefs(), "untouched\n");  // no Close handler ran
  EXPECT_FALSE(platform::Quitting());
}

TEST_F(StartupTest, NewWindowHasNoItemsAndNoVersion) {
  Ref<Window1> fresh = platform::New<Window1>();
  EXPECT_TRUE(fresh->gMyPref.IsNil());
  EXPECT_TRUE(fresh->gMyScriptFolder.IsNil());
  EXPECT_TRUE(fresh->gAiver.IsEmpty());
}

TEST_F(StartupTest, ClosedWindowOnceDroppedReleasesItsItems) {
  Open();
  std::weak_ptr<Window1> alive = window.shared();
  std::weak_ptr<platform::FolderItem> pref = window->gMyPref.shared();
  std::weak_ptr<platform::FolderItem> folder = window->gMyScriptFolder.shared();
  ASSERT_FALSE(pref.expired());
  ASSERT_FALSE(folder.expired());

  CloseWindow();
  window.reset();
  EXPECT_TRUE(alive.expired());  // nothing, the timer included, still holds it
  EXPECT_TRUE(pref.expired());
  EXPECT_TRUE(folder.expired());
}

// ------------------------------------------------------------- reflection

TEST_F(StartupTest, WindowRecordPublishesItsMembersAndProperties) {
  palette::Initialize();
  const ClassInfo& info = ClassRegistry::Instance().Get(Window1::kClassName);

  const Names visible = {
      "Layout",        "CreateControls", "LB1",           "BevelButton1",   "Timer1",
      "LB1_ExpandRow", "LB1_CollapseRow", "LB1_DoubleClick", "BevelButton1_Action",
      "Timer1_Action", "EditMenu",       "EditSelectAll", "UntitledMenu0",  "EditClear",
      "EditPaste",     "EditCopy",       "EditCut",       "UntitledMenu1",  "EditUndo",
      "FileMenu",      "FileQuit",       "Event_Open",    "Event_Close",    "setLB1",
      "my_msgbox",     "AI_ACCTIVE",     "goscript"};
  Names names;
  for (const platform::MemberInfo* m : info.VisibleMembers()) names.push_back(m->name);
  EXPECT_EQ(names, visible);

  for (const platform::MemberInfo& m : info.members) {
    EXPECT_EQ(m.AttributeValue("__Scope"), "Public") << m.name;
    EXPECT_EQ(m.HasAttribute("Hidden"), m.name == "_CreateControls0") << m.name;
  }
  EXPECT_EQ(info.members.size(), visible.size() + 1);

  ASSERT_EQ(info.properties.size(), 3u);
  const std::pair<const char*, const char*> properties[] = {
      {"gMyPref", "o<FolderItem>"}, {"gMyScriptFolder", "o<FolderItem>"}, {"gAiver", "s"}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(info.properties[i].name, properties[i].first);
    EXPECT_EQ(info.properties[i].type, properties[i].second);
  }
  EXPECT_EQ(info.AttributeValue("__Scope"), "Public");
  EXPECT_EQ(ClassRegistry::Instance().Get(palette::Window1Timer1::kClassName).AttributeValue(
                "__Scope"),
            "Private");
  ClassRegistry::Instance().ReleaseRecords();
}

// ---------------------------------------------------------------- menu bar

#define ACCESSOR(Name) [](Window1& w) { return Ref<MenuItem>(w.Name()); }

struct MenuCase {
  const char* name;
  bool quit;
  const char* text;
  std::optional<const char*> shortcut;  // nullopt: never assigned
  std::function<Ref<MenuItem>(Window1&)> accessor;
};

// The bar's items in menu order: each menu, then its items.
const MenuCase kMenus[] = {
    {"FileMenu", false, "ファイル", "", ACCESSOR(FileMenu)},
    {"FileQuit", true, "終了", "Cmd+Q", ACCESSOR(FileQuit)},
    {"EditMenu", false, "編集", "", ACCESSOR(EditMenu)},
    {"EditUndo", false, "元に戻す", "Cmd+Z", ACCESSOR(EditUndo)},
    {"UntitledMenu1", false, "-", std::nullopt, ACCESSOR(UntitledMenu1)},
    {"EditCut", false, "カット", "Cmd+X", ACCESSOR(EditCut)},
    {"EditCopy", false, "コピー", "Cmd+C", ACCESSOR(EditCopy)},
    {"EditPaste", false, "貼り付け", "Cmd+V", ACCESSOR(EditPaste)},
    {"EditClear", false, "削除", "", ACCESSOR(EditClear)},
    {"UntitledMenu0", false, "-", std::nullopt, ACCESSOR(UntitledMenu0)},
    {"EditSelectAll", false, "すべてを選択", "Cmd+A", ACCESSOR(EditSelectAll)},
};
#undef ACCESSOR
constexpr std::size_t kFileMenuRow = 0, kEditMenuRow = 2;

Names NamesOf(const MenuItem& menu) {
  Names names;
  for (int32_t i = 0; i < menu.Count(); ++i) names.push_back(menu.Item(i)->Name().str());
  return names;
}

TEST_F(StartupTest, MenuItemsHaveTheirClassTextAndShortcut) {
  Open();
  Ref<platform::MenuBar> bar = window->MenuBar();
  for (const MenuCase& c : kMenus) {
    SCOPED_TRACE(c.name);
    Ref<MenuItem> item = bar->Lookup(c.name);
    ASSERT_FALSE(item.IsNil());
    EXPECT_EQ(!platform::TryCast<platform::QuitMenuItem>(item).IsNil(), c.quit);
    EXPECT_EQ(item->Text(), c.text);
    EXPECT_TRUE(item->AutoEnable());
    EXPECT_EQ(item->KeyboardShortcutAssigned(), c.shortcut.has_value());
    if (c.shortcut) {
      EXPECT_EQ(item->KeyboardShortcut(), *c.shortcut);
    }
    EXPECT_EQ(c.accessor(*window).get(), item.get());
  }
  EXPECT_EQ(window->EditSelectAll()->Text(), "すべてを選択");
  EXPECT_EQ(window->FileQuit()->Text(), "終了");
}

TEST_F(StartupTest, MenuBarHoldsFileThenEditEachWithItsItemsOnce) {
  Open();
  const Names fileItems = {kMenus[kFileMenuRow + 1].name};
  Names editItems;
  for (std::size_t i = kEditMenuRow + 1; i < std::size(kMenus); ++i) {
    editItems.push_back(kMenus[i].name);
  }

  for (int request = 0; request < 2; ++request) {
    SCOPED_TRACE(request);
    Ref<palette::MenuBar1> bar = palette::implicit::MenuBar1();
    EXPECT_EQ(bar.get(), window->MenuBar().get());
    EXPECT_EQ(NamesOf(*bar), (Names{"FileMenu", "EditMenu"}));
    EXPECT_EQ(NamesOf(*bar->Child("FileMenu")), fileItems);
    EXPECT_EQ(NamesOf(*bar->Child("EditMenu")), editItems);
    EXPECT_EQ(bar->Child("EditMenu")->Count(), 8);
  }
}

TEST_F(StartupTest, MenuAccessorsOfAWindowWithoutMenuBarRaiseNilObject) {
  Ref<Window1> bare = platform::New<Window1>();  // no Constructor: no Layout, no bar
  ASSERT_TRUE(bare->MenuBar().IsNil());
  for (const MenuCase& c : kMenus) {
    EXPECT_THROW(c.accessor(*bare), platform::NilObjectException) << c.name;
  }
}

TEST_F(StartupTest, FinalizeDropsTheMenuBarAndTheWindowLists) {
  Open();
  ASSERT_FALSE(palette::implicit::implicitInstance.IsNil());
  std::weak_ptr<palette::MenuBar1> bar = palette::implicit::implicitInstance.shared();
  palette::Finalize();
  EXPECT_TRUE(palette::implicit::implicitInstance.IsNil());
  EXPECT_TRUE(platform::GetImplicitWindow(Window1::kClassName).IsNil());
  EXPECT_TRUE(platform::OpenWindows().empty());
  EXPECT_FALSE(Inspection::IsBuilt(ClassRegistry::Instance(), Window1::kClassName));
  // The application object and the window still hold the bar; the module
  // no longer does.
  EXPECT_EQ(bar.use_count(), 2);
}

}  // namespace
