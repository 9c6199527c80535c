// The scripts folder as a tree, and what a double-click runs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/folderitem.h"
#include "tests/support/growth.h"
#include "tests/support/palette_fixture.h"

namespace {

using testsupport::GrowsLinearly;
using testsupport::PaletteTest;
using testsupport::SecondsOf;
namespace fs = std::filesystem;
using RowList = std::vector<std::pair<std::string, std::string>>;
using Names = std::vector<std::string>;

class ScriptTreeTest : public PaletteTest {
 protected:
  // The palette opened on `folder` through the preferences file.
  void OpenOn(const fs::path& folder) {
    WritePrefs("10\n20\n150\n200\n" + folder.string() + "\n");
    Start();
  }
};

TEST_F(ScriptTreeTest, ExampleFolderFillsExpandsAndCollapses) {
  const fs::path folder = MakeFolder("scripts", {"A.jsx", "Tools/b.scpt", "Tools/c.app"});
  OpenOn(folder);

  EXPECT_EQ(Rows(), (RowList{{"A.jsx", ""}, {"Tools", "b.scpt<>c.app<>"}}));
  auto list = window->LB1();
  EXPECT_EQ(list->ColumnCount(), 1);
  EXPECT_TRUE(list->RowIsFolder(1));
  EXPECT_FALSE(list->Expanded(1));

  list->SetExpanded(1, true);
  EXPECT_EQ(Rows(), (RowList{{"A.jsx", ""}, {"Tools", "b.scpt<>c.app<>"}, {"b.scpt", "Tools"},
                          {"c.app", "Tools"}}));
  list->SetExpanded(1, false);
  EXPECT_EQ(Rows(), (RowList{{"A.jsx", ""}, {"Tools", "b.scpt<>c.app<>"}}));

  // The child list was fixed at the fill: a change on disk shows only at
  // the next one.
  fs::remove(folder / "Tools" / "b.scpt");
  list->SetExpanded(1, true);
  EXPECT_EQ(Shown(), (Names{"A.jsx", "Tools", "b.scpt", "c.app"}));
  EXPECT_TRUE(display.Messages().empty());
}

TEST_F(ScriptTreeTest, DoubleClickRunsEachRowByItsExtension) {
  const fs::path folder = MakeFolder("scripts", {"A.jsx", "Tools/b.scpt", "Tools/c.app"});
  OpenOn(folder);
  host.calls.clear();

  DoubleClick(0);  // A.jsx
  EXPECT_EQ(host.calls, (Names{"gojs " + (folder / "A.jsx").string()}));

  host.calls.clear();
  DoubleClick(1);  // Tools opens, nothing runs
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(Shown(), (Names{"A.jsx", "Tools", "b.scpt", "c.app"}));

  DoubleClick(2);  // b.scpt
  EXPECT_EQ(host.calls, (Names{"goas " + (folder / "Tools" / "b.scpt").string()}));

  DoubleClick(1);  // Tools closes, and nothing is looked up for it
  EXPECT_EQ(Shown(), (Names{"A.jsx", "Tools"}));
  EXPECT_EQ(host.calls.size(), 1u);
  EXPECT_TRUE(display.Messages().empty());
}

TEST_F(ScriptTreeTest, HiddenAndDotItemsAreSkippedOnlyAtTheTopLevel) {
  const fs::path folder =
      MakeFolder("scripts", {"shown.jsx", ".dot.jsx", "secret.jsx", "Tools/.inner.scpt",
                             "Tools/secret.jsx", "Tools/Deeper/x.js"});
  std::ofstream(folder / ".hidden") << "secret.jsx\n";
  OpenOn(folder);

  EXPECT_EQ(Rows(), (RowList{{"shown.jsx", ""}, {"Tools", ".inner.scpt<>Deeper<>secret.jsx<>"}}));
  auto list = window->LB1();
  list->SetExpanded(1, true);
  EXPECT_EQ(Shown(), (Names{"shown.jsx", "Tools", ".inner.scpt", "Deeper", "secret.jsx"}));
  // A folder inside a folder is a child row like any other: the tree stops
  // at two levels.
  EXPECT_FALSE(list->RowIsFolder(3));
  list->SetExpanded(3, true);
  EXPECT_FALSE(list->Expanded(3));
  EXPECT_EQ(list->ListCount(), 5);
}

TEST_F(ScriptTreeTest, SeparatorsInNamesSplitWhereTheyStand) {
  // Names are written into the listing as they are, so a separator inside
  // a name splits it; what matters is that the list stays consistent.
  const fs::path folder =
      MakeFolder("scripts", {"a.jsx", "f<@>g.js", "Sub/p<>q.scpt", "Two/p<@>q.jsx"});
  OpenOn(folder);

  // The child list is the entry's second "<@>" field, and no more.
  EXPECT_EQ(Rows(),
            (RowList{{"a.jsx", ""}, {"f", "g.js"}, {"Sub", "p<>q.scpt<>"}, {"Two", "p"}}));
  auto list = window->LB1();
  list->SetExpanded(3, true);
  EXPECT_EQ(Shown(), (Names{"a.jsx", "f", "Sub", "Two", "p"}));
  list->SetExpanded(3, false);
  list->SetExpanded(2, true);
  EXPECT_EQ(Shown(), (Names{"a.jsx", "f", "Sub", "p", "q.scpt", "Two"}));
  list->SetExpanded(1, true);
  EXPECT_EQ(Shown(), (Names{"a.jsx", "f", "g.js", "Sub", "p", "q.scpt", "Two"}));
  list->SetExpanded(3, false);
  EXPECT_EQ(Shown(), (Names{"a.jsx", "f", "g.js", "Sub", "Two"}));
}

TEST_F(ScriptTreeTest, EmptySubFolderIsAFolderRowThatExpandsToNothing) {
  const fs::path folder = MakeFolder("scripts", {"Empty/", "z.jsx"});
  OpenOn(folder);
  EXPECT_EQ(Rows(), (RowList{{"Empty", ""}, {"z.jsx", ""}}));
  host.calls.clear();

  DoubleClick(0);
  DoubleClick(0);
  EXPECT_EQ(Shown(), (Names{"Empty", "z.jsx"}));
  EXPECT_TRUE(host.calls.empty());
  EXPECT_TRUE(display.Messages().empty());
}

TEST_F(ScriptTreeTest, NothingToListShowsTheMessageAndLeavesTheList) {
  const fs::path folder = MakeFolder("scripts", {".only-dot"});
  OpenOn(folder);
  EXPECT_EQ(display.Messages(), (Names{"スクリプトファイルが読み込めませんでした。"}));
  EXPECT_EQ(window->LB1()->ListCount(), 0);
  EXPECT_EQ(window->LB1()->ColumnCount(), 2);
}

TEST_F(ScriptTreeTest, NoScriptsFolderFillsNothingQuietly) {
  host.version = "";  // no host version, no preferences: no folder at all
  Start();
  EXPECT_TRUE(window->gMyScriptFolder.IsNil());
  EXPECT_EQ(window->LB1()->ListCount(), 0);
  EXPECT_TRUE(display.Messages().empty());
  EXPECT_FALSE(HasUnhandled());
}

struct Dispatch {
  const char* file;  // inside the sub-folder "Sub", so dot names are listed too
  const char* call;  // the host call it makes, or "" for none
};

TEST_F(ScriptTreeTest, ExtensionsPickTheRun) {
  const Dispatch cases[] = {
      {"x.scpt", "goas"}, {"X.SCPT", "goas"},  {"x.tar.scpt", "goas"}, {".scpt", "goas"},
      {"scpt", "goas"},   {"a.js", "gojs"},    {"A.JSX", "gojs"},      {"jsx", "gojs"},
      {"a.txt", ""},      {"readme", ""},      {"x.", ""},             {"a.jsxx", ""},
  };
  std::vector<std::string> files;
  for (const Dispatch& c : cases) files.push_back(std::string("Sub/") + c.file);
  const fs::path folder = MakeFolder("scripts", files);
  OpenOn(folder);
  auto list = window->LB1();
  list->SetExpanded(0, true);

  for (int32_t row = 1; row < list->ListCount(); ++row) {
    const std::string name = list->Cell(row, 0).str();
    const auto* c = std::find_if(std::begin(cases), std::end(cases),
                                 [&](const Dispatch& d) { return name == d.file; });
    ASSERT_NE(c, std::end(cases)) << name;
    host.calls.clear();
    DoubleClick(row);
    const Names expected =
        *c->call ? Names{std::string(c->call) + " " + (folder / "Sub" / name).string()} : Names{};
    EXPECT_EQ(host.calls, expected) << name;
  }
  EXPECT_TRUE(display.Messages().empty());
}

TEST_F(ScriptTreeTest, PathsReachTheHostIntact) {
  const std::string odd = "it's \"quoted\" $(touch pwned) `x`; and spaces.jsx";
  const fs::path folder = MakeFolder("scripts folder", {odd});
  OpenOn(folder);
  host.calls.clear();
  DoubleClick(0);
  EXPECT_EQ(host.calls, (Names{"gojs " + (folder / odd).string()}));
}

TEST_F(ScriptTreeTest, ApplicationIsLaunchedByTheBytesOfItsName) {
  // A top-level application whose name is no UTF-8, and one in a folder.
  const std::string latin1 = "b\xE9.app";
  const fs::path folder = MakeFolder("scripts", {latin1, "Tools/c.app"});
  for (const fs::path& app : {folder / latin1, folder / "Tools" / "c.app"}) {
    std::ofstream(app) << "#!/bin/sh\nprintf '%s' \"$0\" > \"$0.ran\"\n";
    fs::permissions(app, fs::perms::owner_all);
  }
  OpenOn(folder);
  ASSERT_EQ(Shown(), (Names{latin1, "Tools"}));
  host.calls.clear();

  DoubleClick(0);  // b\xE9.app
  DoubleClick(1);  // Tools opens
  DoubleClick(2);  // c.app
  EXPECT_TRUE(host.calls.empty());
  // Started on their own: no child of ours is left to be reaped.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  for (const fs::path& app : {folder / latin1, folder / "Tools" / "c.app"}) {
    SCOPED_TRACE(app);
    const fs::path marker = app.string() + ".ran";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(marker) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::ifstream in(marker, std::ios::binary);
    const std::string ran{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(ran, app.string());
  }
}

TEST_F(ScriptTreeTest, MissingFileItemSaysSoThroughTheHost) {
  // Every name a folder lists forms an item here; a parent folder that
  // cannot be obtained takes a name no item has, put in by hand.
  const fs::path folder = MakeFolder("scripts", {"A.jsx", "Tools/b.scpt"});
  OpenOn(folder);
  auto list = window->LB1();
  list->SetCell(1, 0, "..");
  DoubleClick(1);
  ASSERT_EQ(Rows(), (RowList{{"A.jsx", ""}, {"..", "b.scpt<>"}, {"b.scpt", ".."}}));
  host.calls.clear();
  display.ClearLog();

  DoubleClick(2);
  EXPECT_EQ(display.Messages(), (Names{"b.scptが見つかりません"}));
  EXPECT_EQ(host.calls, (Names{"acctivemyapp", "activate misc actv ART5"}));
  EXPECT_FALSE(HasUnhandled());

  // The same message when goscript is handed no item at all.
  host.calls.clear();
  display.ClearLog();
  window->goscript(nullptr, "x.scpt");
  EXPECT_EQ(display.Messages(), (Names{"x.scptが見つかりません"}));
  EXPECT_EQ(host.calls, (Names{"acctivemyapp", "activate misc actv ART5"}));
}

TEST_F(ScriptTreeTest, DoubleClickWithoutSelectionDoesNothing) {
  const fs::path folder = MakeFolder("scripts", {"A.jsx", "Tools/b.scpt"});
  OpenOn(folder);
  host.calls.clear();
  window->LB1()->SetListIndex(-1);
  window->LB1()->UserDoubleClick();
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(Shown(), (Names{"A.jsx", "Tools"}));
  // Quietly: nothing raised reached the framework either.
  EXPECT_FALSE(HasUnhandled());
  EXPECT_TRUE(display.Messages().empty());
}

TEST_F(ScriptTreeTest, LargeFolderFillsInLinearTime) {
  // Of `entries`: nine in ten files, the rest folders of nine children.
  auto makeFolder = [this](int32_t entries) {
    const fs::path folder = Home() / ("big" + std::to_string(entries));
    fs::create_directories(folder);
    for (int i = 0; i < entries / 10 * 9; ++i) {
      std::ofstream(folder / ("s" + std::to_string(i) + ".jsx"));
    }
    for (int d = 0; d < entries / 100; ++d) {
      const fs::path sub = folder / ("d" + std::to_string(d));
      fs::create_directory(sub);
      for (int c = 0; c < 9; ++c) std::ofstream(sub / ("c" + std::to_string(c) + ".js"));
    }
    return folder;
  };
  constexpr int32_t kEntries = 10000;
  const fs::path small = makeFolder(kEntries);
  const fs::path large = makeFolder(10 * kEntries);
  OpenOn(large);
  auto list = window->LB1();
  ASSERT_EQ(list->ListCount(), 91000);

  // The whole fill, the folder's reading and sorting included: a walk that
  // looks fields up one by one from the start takes minutes at 10n.
  EXPECT_TRUE(GrowsLinearly("fill", kEntries, [&](int32_t entries) {
    window->gMyScriptFolder =
        platform::FolderItem::FromPath((entries == kEntries ? small : large).string());
    const double seconds = SecondsOf([&] { window->setLB1(); });
    EXPECT_EQ(list->ListCount(), entries / 100 * 91);
    return seconds;
  }, 3));
}

TEST_F(ScriptTreeTest, ManyChildrenExpandAndCollapseInLinearTime) {
  const fs::path folder = MakeFolder("scripts", {"Many/x.jsx", "z.jsx"});
  OpenOn(folder);
  auto list = window->LB1();
  // The child list as a fill of a folder of `children` items leaves it.
  auto setChildren = [&list](int32_t children) {
    std::string childList;
    for (int32_t i = 0; i < children; ++i) childList += "c" + std::to_string(i) + ".jsx<>";
    list->SetExpanded(0, false);
    list->SetCell(0, 1, childList);
  };
  const struct {
    const char* step;
    bool expanded;  // what the step leaves the folder row
  } steps[] = {{"expand", true}, {"collapse", false}};
  for (const auto& step : steps) {
    EXPECT_TRUE(GrowsLinearly(step.step, 10000, [&](int32_t children) {
      setChildren(children);
      if (!step.expanded) list->SetExpanded(0, true);
      const double seconds = SecondsOf([&] { list->SetExpanded(0, step.expanded); });
      EXPECT_EQ(list->ListCount(), 2 + (step.expanded ? children : 0));
      if (step.expanded) {
        EXPECT_EQ(list->Cell(children, 0), "c" + std::to_string(children - 1) + ".jsx");
      }
      EXPECT_EQ(list->Cell(list->ListCount() - 1, 0), "z.jsx");
      return seconds;
    }));
  }
}

}  // namespace
