// The palette on the real Qt Widgets display, off screen: what its widgets
// show, and the user's hand on them reaching the palette's handlers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "palette/app.h"
#include "palette/configuration.h"
#include "palette/window1.h"
#include "platform/bevelbutton.h"
#include "platform/display.h"
#include "platform/listbox.h"
#include "platform/qt/qt_display.h"
#include "platform/qt/qt_inspect.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "tests/support/palette_fixture.h"
#include "tests/support/qt_palette_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace qi = platform::qtinspect;
using platform::Rect;
using Names = std::vector<std::string>;

constexpr const char* kListingFailed = "スクリプトファイルが読み込めませんでした。";
constexpr int kWaitMs = testsupport::kQtWaitMs;
using testsupport::Describe;

class QtPaletteTest : public testsupport::QtPaletteFixture {
 protected:
  // A standard sample: a script at the top and a folder of two.
  fs::path Sample() { return MakeFolder("scripts", {"A.jsx", "Tools/b.scpt", "Tools/c.app"}); }

  platform::Listbox& List() const { return window->LB1().Deref(); }
  Names Shown() const { return qi::InspectList(List()).rows; }

  // The runs the host was asked for, in order.
  Names Runs() const {
    Names runs;
    for (const std::string& c : host.calls) {
      if (c.rfind("goas ", 0) == 0 || c.rfind("gojs ", 0) == 0) runs.push_back(c);
    }
    return runs;
  }

};

TEST_F(QtPaletteTest, WindowFloatsWithTitleSizeAndItsMenuBarInside) {
  OpenOn(Sample());
  const qi::WindowView v = qi::InspectWindow(*window);
  EXPECT_EQ(v.title, "Tessalineパレット");
  EXPECT_EQ(v.content, (Rect{10, 40, 150, 200})) << Describe(v.content);
  EXPECT_EQ(v.minWidth, 64);
  EXPECT_EQ(v.minHeight, 64);
  EXPECT_TRUE(v.floating);

  // The bar spans the top of the window, and the content area starts right
  // under it: the bar is the window's own, not above the content's bounds
  // on some other surface.
  EXPECT_EQ(v.menuBar.left, 0);
  EXPECT_EQ(v.menuBar.top, 0);
  EXPECT_EQ(v.menuBar.width, v.frame.width);
  EXPECT_GT(v.menuBar.height, 0);
  EXPECT_EQ(v.content.left, v.frame.left);
  EXPECT_EQ(v.content.top, v.frame.top + v.menuBar.height);
  EXPECT_EQ(v.frame.height, v.menuBar.height + 200);

  struct Row {
    const char* text;
    const char* shortcut;
  };
  const struct {
    const char* title;
    std::vector<Row> entries;
  } menus[] = {
      {"ファイル", {{"終了", "Ctrl+Q"}}},
      {"編集",
       {{"元に戻す", "Ctrl+Z"},
        {"-", ""},
        {"カット", "Ctrl+X"},
        {"コピー", "Ctrl+C"},
        {"貼り付け", "Ctrl+V"},
        {"削除", ""},
        {"-", ""},
        {"すべてを選択", "Ctrl+A"}}},
  };
  ASSERT_EQ(v.menus.size(), std::size(menus));
  for (std::size_t m = 0; m < std::size(menus); ++m) {
    EXPECT_EQ(v.menus[m].title, menus[m].title);
    ASSERT_EQ(v.menus[m].entries.size(), menus[m].entries.size()) << menus[m].title;
    for (std::size_t e = 0; e < menus[m].entries.size(); ++e) {
      const qi::MenuEntry& shown = v.menus[m].entries[e];
      const Row& want = menus[m].entries[e];
      const bool separator = std::string(want.text) == "-";
      EXPECT_EQ(shown.separator, separator) << menus[m].title << " " << e;
      if (separator) continue;
      EXPECT_EQ(shown.text, want.text) << menus[m].title << " " << e;
      EXPECT_EQ(shown.shortcut, want.shortcut) << want.text;
      EXPECT_TRUE(shown.enabled) << want.text;
    }
  }
}

TEST_F(QtPaletteTest, SavedBoundsFarBeyondTheScreenGiveAWindowWhollyOnIt) {
  OpenOn(Sample(), "99999999999\n99999999999\n99999999999\n99999999999\n");
  const Rect screen = qt_->Screens().front();
  const qi::WindowView v = qi::InspectWindow(*window);
  // The whole window, its menu bar included, takes the screen's usable
  // area and no more; the button stands inside the content area.
  EXPECT_EQ(v.frame, screen) << Describe(v.frame) << " on " << Describe(screen);
  EXPECT_GT(v.menuBar.height, 0);
  EXPECT_EQ(v.content, window->Bounds()) << Describe(v.content);
  const Rect button = qi::ControlGeometry(window->BevelButton1().Deref());
  EXPECT_GT(button.height, 0);
  EXPECT_LE(button.top + button.height, v.content.height) << Describe(button);
  EXPECT_LE(button.left + button.width, v.content.width) << Describe(button);
}

struct PlacementCase {
  const char* name;
  std::string bounds;  // the file's first four lines
  Rect saved;          // what they say
};

void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

class QtPlacementTest : public QtPaletteTest, public ::testing::WithParamInterface<PlacementCase> {};

// The saved top is the content area's, below the menu bar: a top that
// leaves the bar above the screen's top edge is pulled down until the bar
// stands on the screen, and the next close saves it so; bounds that fit
// with their bar come back exactly as saved. (The window manager's own
// frame above the bar is not the palette's to know.)
TEST_P(QtPlacementTest, MenuBarStaysOnTheScreen) {
  const PlacementCase& c = GetParam();
  // No host folder either, for the file that names no folder.
  host.version = "";
  const fs::path scripts = Sample();
  OpenOn(scripts, c.bounds);
  const Rect screen = qt_->Screens().front();
  const qi::WindowView v = qi::InspectWindow(*window);
  ASSERT_GT(v.menuBar.height, 0);
  Rect expected = c.saved;
  expected.top = std::max(c.saved.top, screen.top + v.menuBar.height);
  EXPECT_EQ(v.content, expected) << Describe(v.content) << ", bar " << v.menuBar.height;
  EXPECT_EQ(window->Bounds(), expected) << Describe(window->Bounds());
  // The bar is the top of the window, on the screen.
  EXPECT_EQ(v.frame.top + v.menuBar.top, expected.top - v.menuBar.height) << Describe(v.frame);
  EXPECT_GE(v.frame.top, screen.top) << Describe(v.frame);
  window->Close();
  const std::string four = std::to_string(expected.left) + "\n" + std::to_string(expected.top) +
                           "\n" + std::to_string(expected.width) + "\n" +
                           std::to_string(expected.height) + "\n";
  EXPECT_EQ(ReadPrefs().substr(0, four.size()), four);
}

INSTANTIATE_TEST_SUITE_P(
    LowTops, QtPlacementTest,
    ::testing::Values(PlacementCase{"EmptyFile", "", {0, 0, 64, 64}},
                      PlacementCase{"Top0", "10\n0\n150\n200\n", {10, 0, 150, 200}},
                      PlacementCase{"Top10", "10\n10\n150\n200\n", {10, 10, 150, 200}},
                      PlacementCase{"Top22", "10\n22\n150\n200\n", {10, 22, 150, 200}},
                      PlacementCase{"Top23", "10\n23\n150\n200\n", {10, 23, 150, 200}},
                      PlacementCase{"Top24", "10\n24\n150\n200\n", {10, 24, 150, 200}},
                      PlacementCase{"TopMinus500", "10\n-500\n150\n200\n", {10, -500, 150, 200}},
                      PlacementCase{"FitsAsSaved", "300\n200\n180\n250\n", {300, 200, 180, 250}},
                      PlacementCase{"PartlyOffButWithinReach", "700\n500\n150\n200\n",
                                    {700, 500, 150, 200}}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(QtPaletteTest, ControlsFollowTheWindowByTheirLocks) {
  OpenOn(Sample());
  const qi::ListView list = qi::InspectList(List());
  EXPECT_TRUE(list.hierarchical);
  EXPECT_TRUE(list.headerHidden);
  EXPECT_TRUE(list.horizontalBarNever);
  EXPECT_TRUE(list.verticalBarAsNeeded);
  EXPECT_EQ(list.pointSize, 10);
  EXPECT_EQ(list.columns, 1);

  const struct {
    int32_t width, height;  // asked of the window; 0: the design size
    int32_t shownWidth, shownHeight;
    Rect list, button;
  } cases[] = {
      {0, 0, 150, 200, {0, 0, 150, 174}, {5, 177, 140, 20}},
      {300, 400, 300, 400, {0, 0, 300, 374}, {5, 377, 290, 20}},
      {30, 20, 64, 64, {0, 0, 64, 38}, {5, 41, 54, 20}},  // below the minimum
      {150, 200, 150, 200, {0, 0, 150, 174}, {5, 177, 140, 20}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    if (c.width > 0) qi::ResizeByUser(*window, c.width, c.height);
    // The model hears of the size once the user's drag has settled.
    EXPECT_TRUE(qi::WaitUntil(
        [&] { return window->Width() == c.shownWidth && window->Height() == c.shownHeight; },
        kWaitMs))
        << "model " << Describe(window->Bounds());
    const Rect content = qi::InspectWindow(*window).content;
    EXPECT_EQ(content.width, c.shownWidth);
    EXPECT_EQ(content.height, c.shownHeight);
    EXPECT_EQ(qi::ControlGeometry(List()), c.list) << Describe(qi::ControlGeometry(List()));
    const Rect button = qi::ControlGeometry(window->BevelButton1().Deref());
    EXPECT_EQ(button, c.button) << Describe(button);
    // The caption stays whole, at its own size where there is room for it.
    const qi::ButtonView caption = qi::InspectButton(window->BevelButton1().Deref());
    EXPECT_EQ(caption.text, "スクリプトフォルダ選択");
    EXPECT_TRUE(caption.captionFits) << caption.pointSize << " pt";
    EXPECT_LE(caption.pointSize, 10);
    if (c.button.width >= 200) {
      EXPECT_EQ(caption.pointSize, 10);
    }
  }
}

TEST_F(QtPaletteTest, SizeLimitsAtTheEndsOfIntSaturateWithTheMenuBarAdded) {
  OpenOn(Sample());
  constexpr int32_t kQtMax = 16777215;  // the largest size a widget takes
  const int32_t bar = qi::InspectWindow(*window).menuBar.height;
  ASSERT_GT(bar, 0);
  // A limit and what the window then allows, the menu bar included. The
  // window is hidden while it is as tall as its minimum makes it.
  const struct {
    const char* property;
    int32_t value;
    bool hide;
    int32_t contentMin, contentMax, frameMin, frameMax;
  } cases[] = {
      {"MaxHeight", INT32_MAX, false, 64, kQtMax, 64 + bar, kQtMax},
      {"MaxHeight", kQtMax - 1, false, 64, kQtMax - 1, 64 + bar, kQtMax},
      {"MaxWidth", INT32_MAX, false, 64, kQtMax - 1, 64 + bar, kQtMax},
      {"MinHeight", INT32_MAX, true, kQtMax - 1, kQtMax, kQtMax - 1, kQtMax},
      {"MinHeight", 64, true, 64, kQtMax - 1, 64 + bar, kQtMax},
      {"MaxHeight", 500, false, 64, 500, 64 + bar, 500 + bar},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.property) + " " + std::to_string(c.value));
    if (c.hide) window->SetVisible(false);
    window->SetProperty(c.property, c.value);
    if (!c.hide) window->SetVisible(true);
    const qi::WindowView v = qi::InspectWindow(*window);
    EXPECT_EQ(v.minHeight, c.contentMin);
    EXPECT_EQ(v.maxHeight, c.contentMax);
    EXPECT_EQ(v.frameMinHeight, c.frameMin);
    EXPECT_EQ(v.frameMaxHeight, c.frameMax);
    EXPECT_GT(v.frame.height, 0) << Describe(v.frame);
  }
  // Still resizable by hand between the limits.
  window->SetHeight(200);
  qi::ResizeByUser(*window, 300, 450);
  EXPECT_TRUE(qi::WaitUntil([&] { return window->Height() == 450; }, kWaitMs))
      << Describe(window->Bounds());
}

TEST_F(QtPaletteTest, ButtonCaptionTakesTheLargestHalfPointStepThatFits) {
  OpenOn(Sample());
  // Narrow to wide and back: the caption shrinks and grows again, always to
  // the size that measuring every half-point step down would pick.
  for (const int32_t width : {64, 90, 118, 150, 171, 199, 240, 133, 101}) {
    SCOPED_TRACE(width);
    qi::ResizeByUser(*window, width, 200);
    ASSERT_TRUE(qi::WaitUntil([&] { return window->Width() == width; }, kWaitMs));
    const qi::ButtonView caption = qi::InspectButton(window->BevelButton1().Deref());
    EXPECT_EQ(caption.pointSize, caption.stepwisePointSize);
  }
}

TEST_F(QtPaletteTest, ListShowsTheTreeAndTheUsersHandReachesTheHandlers) {
  const fs::path scripts = Sample();
  OpenOn(scripts);
  EXPECT_EQ(Shown(), (Names{"A.jsx", "+ Tools"}));

  const Names open{"A.jsx", "- Tools", "  b.scpt", "  c.app"};
  qi::ClickDisclosure(List(), 1);
  EXPECT_EQ(Shown(), open);
  EXPECT_EQ(List().ListCount(), 4);
  qi::ClickDisclosure(List(), 1);
  EXPECT_EQ(Shown(), (Names{"A.jsx", "+ Tools"}));
  EXPECT_EQ(List().ListCount(), 2);

  // A double-click on a folder row opens or closes it once: the view does
  // not toggle it a second time on its own.
  qi::DoubleClickRow(List(), 1);
  EXPECT_EQ(Shown(), open);
  EXPECT_TRUE(List().Expanded(1));
  EXPECT_EQ(qi::InspectList(List()).current, 1);

  qi::DoubleClickRow(List(), 2);
  qi::DoubleClickRow(List(), 0);
  EXPECT_EQ(Runs(), (Names{"goas " + (scripts / "Tools" / "b.scpt").string(),
                           "gojs " + (scripts / "A.jsx").string()}));
  EXPECT_EQ(Shown(), open);

  qi::DoubleClickRow(List(), 1);
  EXPECT_EQ(Shown(), (Names{"A.jsx", "+ Tools"}));
  EXPECT_FALSE(List().Expanded(1));
  EXPECT_EQ(Runs().size(), 2u);
}

TEST_F(QtPaletteTest, FolderOpenedByHandShowsEveryChildInOrderEachTime) {
  // Enough children that the view hears of them as one run, and a row
  // below the folder that moves down and back up as the folder opens and
  // closes.
  std::vector<std::string> files{"A.jsx", "Z.jsx"};
  Names children;
  for (int i = 1; i <= 6; ++i) {
    files.push_back("Tools/c" + std::to_string(i) + ".jsx");
    children.push_back("  c" + std::to_string(i) + ".jsx");
  }
  const fs::path scripts = MakeFolder("scripts", files);
  OpenOn(scripts, "10\n20\n150\n300\n");
  const Names closed{"A.jsx", "+ Tools", "Z.jsx"};
  Names open{"A.jsx", "- Tools"};
  open.insert(open.end(), children.begin(), children.end());
  open.push_back("Z.jsx");
  ASSERT_EQ(Shown(), closed);

  qi::ClickRow(List(), 2);
  ASSERT_EQ(List().ListIndex(), 2);
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    qi::ClickDisclosure(List(), 1);
    qi::ListView v = qi::InspectList(List());
    EXPECT_EQ(v.rows, open);
    EXPECT_TRUE(List().Expanded(1));
    EXPECT_EQ(List().ListIndex(), 8);
    EXPECT_EQ(v.current, 8);

    // The last child is where the view shows it: a double-click there runs
    // that very script.
    qi::DoubleClickRow(List(), 7);
    ASSERT_EQ(Runs().size(), static_cast<std::size_t>(round));
    EXPECT_EQ(Runs().back(), "gojs " + (scripts / "Tools" / "c6.jsx").string());
    EXPECT_EQ(qi::InspectList(List()).current, 7);

    qi::ClickRow(List(), 8);
    qi::ClickDisclosure(List(), 1);
    v = qi::InspectList(List());
    EXPECT_EQ(v.rows, closed);
    EXPECT_EQ(List().ListCount(), 3);
    EXPECT_EQ(List().ListIndex(), 2);
    EXPECT_EQ(v.current, 2);
  }
}

TEST_F(QtPaletteTest, ViewFollowsRunsOfChangesTheCodeMakes) {
  OpenOn(MakeFolder("scripts", {"A.jsx", "B.jsx", "C.jsx", "D.jsx", "Tools/b.scpt", "Tools/c.app",
                                "Tz.jsx", "Utils/u.js"}));
  platform::Listbox& list = List();
  ASSERT_EQ(Shown(), (Names{"A.jsx", "B.jsx", "C.jsx", "D.jsx", "+ Tools", "Tz.jsx", "+ Utils"}));
  // Each step makes several changes in a row, with no look at the view in
  // between; then the view shows the rows and the selected row the list
  // holds (-1: none). An open folder below rows that go stays open, with
  // its children under it.
  const struct {
    const char* what;
    std::function<void()> act;
    Names rows;
    int32_t current;
  } steps[] = {
      {"both folders opened by code",
       [&] {
         list.SetExpanded(6, true);
         list.SetExpanded(4, true);
       },
       {"A.jsx", "B.jsx", "C.jsx", "D.jsx", "- Tools", "  b.scpt", "  c.app", "Tz.jsx", "- Utils",
        "  u.js"},
       -1},
      {"a run of rows appended, one written and selected before the view hears of it",
       [&] {
         list.AddRow("p");
         list.AddRow("");
         list.SetCell(list.LastIndex(), 0, "q");
         list.SetListIndex(list.LastIndex());
         list.AddRow("r");
       },
       {"A.jsx", "B.jsx", "C.jsx", "D.jsx", "- Tools", "  b.scpt", "  c.app", "Tz.jsx", "- Utils",
        "  u.js", "p", "q", "r"},
       11},
      {"the rows right above an open folder removed, the last of them first",
       [&] {
         list.RemoveRow(3);
         list.RemoveRow(2);
       },
       {"A.jsx", "B.jsx", "- Tools", "  b.scpt", "  c.app", "Tz.jsx", "- Utils", "  u.js", "p", "q",
        "r"},
       9},
      {"rows above the open folders removed from the front",
       [&] {
         list.RemoveRow(0);
         list.RemoveRow(0);
       },
       {"- Tools", "  b.scpt", "  c.app", "Tz.jsx", "- Utils", "  u.js", "p", "q", "r"},
       7},
      {"a folder's last child and the row after the folder removed together",
       [&] {
         list.RemoveRow(2);
         list.RemoveRow(2);
       },
       {"- Tools", "  b.scpt", "- Utils", "  u.js", "p", "q", "r"},
       5},
      {"a shown row rewritten amid appends",
       [&] {
         list.AddRow("s");
         list.SetCell(6, 0, "r2");
         list.AddRow("t");
       },
       {"- Tools", "  b.scpt", "- Utils", "  u.js", "p", "q", "r2", "s", "t"},
       5},
      {"a folder above the selected row closed by code", [&] { list.SetExpanded(2, false); },
       {"- Tools", "  b.scpt", "+ Utils", "p", "q", "r2", "s", "t"}, 4},
      {"rows removed from the end, the selected one among them",
       [&] {
         for (int32_t row : {7, 6, 5, 4}) list.RemoveRow(row);
       },
       {"- Tools", "  b.scpt", "+ Utils", "p"},
       -1},
      {"a removal between appends",
       [&] {
         list.AddRow("v");
         list.RemoveRow(3);
         list.AddRow("w");
       },
       {"- Tools", "  b.scpt", "+ Utils", "v", "w"},
       -1},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.act();
    const qi::ListView v = qi::InspectList(list);
    EXPECT_EQ(v.rows, step.rows);
    EXPECT_EQ(list.ListIndex(), step.current);
    EXPECT_EQ(v.current, step.current);
  }
  // The view's last row is the list's: a click there selects it.
  qi::ClickRow(list, 4);
  EXPECT_EQ(list.ListIndex(), 4);
  EXPECT_EQ(list.Cell(4, 0).str(), "w");
}

TEST_F(QtPaletteTest, QuittingClosesThePaletteSavesItAndEndsTheLoop) {
  const struct {
    const char* how;
    std::function<void(const platform::Window&)> act;
  } cases[] = {
      {"File > 終了", [](const platform::Window& w) { EXPECT_TRUE(qi::TriggerMenuItem(w, 0, 0)); }},
      {"close button", [](const platform::Window& w) { qi::CloseByUser(w); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    // Clear of the screen's top edge with the menu bar above the content,
    // so that no window system moves it.
    const fs::path scripts = Sample();
    OpenOn(scripts, "40\n60\n150\n200\n");
    qi::ResizeByUser(*window, 300, 240);
    // Read at once, before the widget's own report of the change is due.
    EXPECT_EQ(window->Width(), 300);
    ASSERT_TRUE(qi::WaitUntil([this] { return window->Width() == 300; }, kWaitMs));

    // From inside the running loop, as the user would; a loop that does not
    // end is cut short so the failure shows.
    qi::RunLater(50, [this, &c] { c.act(*window); });
    bool cutShort = false;
    qi::RunLater(5000, [this, &cutShort] {
      cutShort = true;
      qt_->Quit();
    });
    platform::RuntimeRun();
    EXPECT_FALSE(cutShort);
    EXPECT_FALSE(window->IsOpen());
    EXPECT_EQ(ReadPrefs(), "40\n60\n300\n240\n" + scripts.string() + "\n");
    EXPECT_EQ(Finish(), 0);
    window.reset();
    qi::ProcessEvents(20);
    EXPECT_EQ(qi::LiveWindowWidgets(), 0);

    // The next round starts afresh, as the program would.
    fs::remove_all(scripts);
    fs::remove(PrefsFile());
    qt_.reset();
    std::string error;
    qt_ = platform::CreateQtDisplay(argc_, argv_, palette::DisplayOptions(), &error);
    ASSERT_TRUE(qt_) << error;
  }
}

TEST_F(QtPaletteTest, MessageBoxStandsInFrontWithItsText) {
  // At start, before the palette shows: the folder lists nothing.
  std::optional<qi::ModalView> seen;
  qi::AnswerNextModal([&seen](const qi::ModalView& v) { seen = v; });
  OpenOn(MakeFolder("dots", {".only-dot"}));
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->text, kListingFailed);
  EXPECT_TRUE(seen->staysOnTop);
  EXPECT_EQ(Shown(), Names{});

  // Later, over the shown palette: a chosen folder lists nothing either.
  // The box is asked for only once the folder dialog has gone.
  const fs::path empty = MakeFolder("empty", {});
  seen.reset();
  bool paletteShown = false;
  qi::AnswerNextModal(
      [&](const qi::ModalView&) {
        qi::AnswerNextModal([&](const qi::ModalView& v) {
          seen = v;
          paletteShown = qi::InspectWindow(*window).visible;
        });
      },
      empty.string());
  qi::ClickButton(window->BevelButton1().Deref());
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->text, kListingFailed);
  EXPECT_TRUE(seen->staysOnTop);
  EXPECT_TRUE(seen->overWindow);
  EXPECT_TRUE(paletteShown);
  EXPECT_EQ(window->gMyScriptFolder->AbsolutePath().str(), empty.string());
}

TEST_F(QtPaletteTest, FolderChooserShowsItsTextsAndItsChoiceFillsTheList) {
  OpenOn(Sample());
  const fs::path other = MakeFolder("other", {"Z.js"});
  std::optional<qi::ModalView> dialog;
  bool paletteShown = true;
  qi::AnswerNextModal(
      [&](const qi::ModalView& v) {
        dialog = v;
        paletteShown = qi::InspectWindow(*window).visible;
      },
      other.string());
  qi::ClickButton(window->BevelButton1().Deref());

  ASSERT_TRUE(dialog);
  EXPECT_TRUE(dialog->foldersOnly);
  EXPECT_EQ(dialog->title, "スクリプトフォルダ指定");
  // The prompt first, then Qt's own labels ("Look in:", "Directory:",
  // "Files of type:") and its "Cancel", in Japanese too.
  EXPECT_EQ(dialog->labels, (Names{"スクリプトフォルダを選択してください。", "アドレス:",
                                   "ディレクトリ:", "ファイルの種類:"}));
  EXPECT_EQ(dialog->acceptText, "選択");
  EXPECT_EQ(dialog->rejectText, "キャンセル");
  EXPECT_TRUE(dialog->staysOnTop);
  EXPECT_FALSE(paletteShown);

  EXPECT_TRUE(qi::InspectWindow(*window).visible);
  EXPECT_EQ(Shown(), (Names{"Z.js"}));
  EXPECT_EQ(window->gMyScriptFolder->AbsolutePath().str(), other.string());

  // Cancelling keeps the folder and the list.
  qi::AnswerNextModal({});
  qi::ClickButton(window->BevelButton1().Deref());
  EXPECT_EQ(Shown(), (Names{"Z.js"}));
  EXPECT_EQ(window->gMyScriptFolder->AbsolutePath().str(), other.string());
}

TEST_F(QtPaletteTest, NamesWithControlCharactersShowOnOneLineAndRunByTheirBytes) {
  // Each name as it stands on disk, and as its row shows it: with the
  // control pictures where the list's font has them, else with U+FFFD.
  const struct {
    std::string name, pictured, replaced;
  } names[] = {
      {"a\nb.jsx", "a\u240Ab.jsx", "a\uFFFDb.jsx"},
      {"plain.jsx", "plain.jsx", "plain.jsx"},
      {"tab\tand\rreturn.js", "tab\u2409and\u240Dreturn.js", "tab\uFFFDand\uFFFDreturn.js"},
      {"esc\x1b[2J\x7f.jsx", "esc\u241B[2J\u2421.jsx", "esc\uFFFD[2J\uFFFD.jsx"},
      {"nel\xC2\x85line\xE2\x80\xA8para\xE2\x80\xA9.jsx", "nel\u2424line\u2424para\u2424.jsx",
       "nel\uFFFDline\uFFFDpara\uFFFD.jsx"},
      {"c1\xC2\x9B.jsx", "c1\uFFFD.jsx", "c1\uFFFD.jsx"},
      {"latin\xE9.jsx", "latin\uFFFD.jsx", "latin\uFFFD.jsx"},
  };
  std::vector<std::string> files;
  for (const auto& n : names) files.push_back(n.name);
  files.push_back("Two\nLines/x\ny.scpt");
  const fs::path scripts = MakeFolder("scripts", files);
  OpenOn(scripts, "10\n40\n200\n300\n");
  // The row holding that name, as the list keeps it.
  const auto rowOf = [this](const std::string& name) {
    for (int32_t r = 0; r < List().ListCount(); ++r) {
      if (List().Cell(r, 0).str() == name) return r;
    }
    return int32_t{-1};
  };
  List().SetExpanded(rowOf("Two\nLines"), true);
  qi::ProcessEvents(20);

  const qi::ListView v = qi::InspectList(List());
  ASSERT_EQ(v.rows.size(), std::size(names) + 2);
  const int32_t plain = rowOf("plain.jsx");
  for (std::size_t r = 0; r < v.rows.size(); ++r) {
    SCOPED_TRACE(v.rows[r]);
    EXPECT_EQ(v.rows[r].find_first_of("\n\r\t\x1b\x7f"), std::string::npos);
    EXPECT_TRUE(v.rowsDrawable[r]);
    EXPECT_EQ(v.rowHintHeights[r], v.rowHintHeights[plain]);
    EXPECT_EQ(v.rowHeights[r], v.rowHeights[plain]);
  }
  const bool pictured = v.rows[rowOf("a\nb.jsx")] == names[0].pictured;
  EXPECT_EQ(v.rows[rowOf("Two\nLines")], pictured ? "- Two\u240ALines" : "- Two\uFFFDLines");
  EXPECT_EQ(v.rows[rowOf("x\ny.scpt")], pictured ? "  x\u240Ay.scpt" : "  x\uFFFDy.scpt");

  const fs::path shot = fs::path(TESSALINE_BUILD_DIR) / "screenshots" / "control_characters.png";
  ASSERT_TRUE(qi::SaveScreenshot(*window, shot.string()));

  // What the host is handed is the name's own bytes.
  for (const auto& n : names) {
    SCOPED_TRACE(n.pictured);
    const int32_t row = rowOf(n.name);
    ASSERT_GE(row, 0);
    EXPECT_EQ(v.rows[row], pictured ? n.pictured : n.replaced);
    const std::size_t before = Runs().size();
    qi::DoubleClickRow(List(), row);
    ASSERT_EQ(Runs().size(), before + 1);
    EXPECT_EQ(Runs().back(), "gojs " + (scripts / n.name).string());
  }
  qi::DoubleClickRow(List(), rowOf("x\ny.scpt"));
  EXPECT_EQ(Runs().back(), "goas " + (scripts / "Two\nLines" / "x\ny.scpt").string());
}

TEST_F(QtPaletteTest, ScreenshotOfAnExpandedList) {
  OpenOn(MakeFolder("scripts", {"A.jsx", "レイヤー整理.jsx", "Tools/b.scpt", "Tools/c.app",
                                "Tools/文字揃え.js", "Zeta/"}));
  qi::ClickDisclosure(List(), 1);
  ASSERT_EQ(Shown(), (Names{"A.jsx", "- Tools", "  b.scpt", "  c.app", "  文字揃え.js", "+ Zeta",
                            "レイヤー整理.jsx"}));
  qi::ClickRow(List(), 3);
  qi::ProcessEvents(50);

  const fs::path shot = fs::path(TESSALINE_BUILD_DIR) / "screenshots" / "palette.png";
  std::error_code ec;
  fs::remove(shot, ec);
  ASSERT_TRUE(qi::SaveScreenshot(*window, shot.string()));
  ASSERT_TRUE(fs::exists(shot));
  EXPECT_GT(fs::file_size(shot), 2000u);
  std::ifstream in(shot, std::ios::binary);
  char magic[8] = {};
  in.read(magic, sizeof magic);
  EXPECT_EQ(std::string(magic + 1, 3), "PNG");
}

}  // namespace
