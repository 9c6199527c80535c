// The palette shows itself only while the host or the palette itself is
// frontmost; the timer asks the host once a second.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/palette_fixture.h"

namespace {

using testsupport::PaletteTest;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Visibility = std::vector<bool>;

class TimerTest : public PaletteTest {
 protected:
  void SetUp() override {
    const fs::path folder = MakeFolder("scripts", {"a.jsx"});
    WritePrefs("10\n20\n150\n200\n" + folder.string() + "\n");
    Start();
    display.ClearLog();
  }
  void Tick() { display.AdvanceClock(1000); }
};

struct FrontCase {
  std::string front;
  bool visible;
};

void PrintTo(const FrontCase& c, std::ostream* os) {
  *os << '"' << c.front << "\" " << (c.visible ? "shows" : "hides");
}

class FrontAppTest : public TimerTest, public ::testing::WithParamInterface<FrontCase> {};

TEST_P(FrontAppTest, EachTickSetsVisibilityFromTheFrontApplication) {
  // From both starting states, so that neither "stays as it was" nor a
  // fixed answer can pass.
  for (bool before : {true, false}) {
    SCOPED_TRACE(before ? "was shown" : "was hidden");
    window->SetVisible(before);
    display.ClearLog();
    host.frontAnswers = {GetParam().front};
    Tick();
    EXPECT_EQ(display.VisibleCalls(), Visibility{GetParam().visible});
    EXPECT_EQ(window->Visible(), GetParam().visible);
    EXPECT_EQ(display.Log().front(), "host: frontAppli");
  }
}

INSTANTIATE_TEST_SUITE_P(
    FrontApps, FrontAppTest,
    ::testing::Values(FrontCase{"Illustrator", true}, FrontCase{"Tessalineパレット", true},
                      // Texts compare as the framework's equality: ASCII
                      // letters regardless of case, everything else exact.
                      FrontCase{"illustrator", true}, FrontCase{"ILLUSTRATOR", true},
                      FrontCase{"tessalineパレット", true}, FrontCase{"Finder", false},
                      FrontCase{"", false}, FrontCase{"Illustrator ", false},
                      FrontCase{" Illustrator", false}, FrontCase{"Adobe Illustrator", false},
                      FrontCase{"Illustrato", false}, FrontCase{"Tessalineパレット2", false},
                      FrontCase{"Tessaline", false},
                      FrontCase{"Tessalineﾊﾟﾚｯﾄ", false}));

TEST_F(TimerTest, OneVisibilitySetPerTickAlsoWhenUnchanged) {
  host.front = "Illustrator";
  display.AdvanceClock(3000);
  EXPECT_EQ(display.VisibleCalls(), (Visibility{true, true, true}));
  // Less than a period: no tick.
  display.AdvanceClock(999);
  EXPECT_EQ(display.VisibleCalls().size(), 3u);
  display.AdvanceClock(1);
  EXPECT_EQ(display.VisibleCalls().size(), 4u);
  EXPECT_EQ(Calls("frontAppli"), 4);
}

TEST_F(TimerTest, ThirdAppHidesUntilTheHostIsBack) {
  host.frontAnswers = {"Finder", "Finder", "Safari", "Illustrator", "Finder",
                       "Tessalineパレット"};
  Tick();
  EXPECT_FALSE(window->Visible());
  Tick();
  Tick();
  EXPECT_FALSE(window->Visible());
  Tick();
  EXPECT_TRUE(window->Visible());
  Tick();
  Tick();
  EXPECT_EQ(display.VisibleCalls(), (Visibility{false, false, false, true, false, true}));
}

TEST_F(TimerTest, TickDuringTheFolderDialogShowsTheHiddenPalette) {
  const fs::path other = MakeFolder("other", {"b.jsx"});
  bool visibleDuringDialog = true, visibleAfterTick = false;
  display.AnswerFolder(other.string(), [&] {
    visibleDuringDialog = window->Visible();
    host.frontAnswers = {"Tessalineパレット"};
    Tick();
    visibleAfterTick = window->Visible();
  });
  window->BevelButton1()->Push();
  EXPECT_FALSE(visibleDuringDialog);
  EXPECT_TRUE(visibleAfterTick);
  EXPECT_EQ(display.Log(),
            (Names{"host: acctivemyapp", "visible: false", "folder dialog: スクリプトフォルダ指定",
                   "host: frontAppli", "visible: true", "visible: true",
                   "host: activate misc actv ART5"}));
  EXPECT_EQ(Shown(), (Names{"b.jsx"}));
}

TEST_F(TimerTest, FailingHostQuestionIsReportedAndTheTimerGoesOn) {
  window->SetVisible(false);
  display.ClearLog();
  host.failNext = "frontAppli";
  Tick();
  EXPECT_TRUE(display.VisibleCalls().empty());
  EXPECT_FALSE(window->Visible());
  EXPECT_EQ(LogCount("unhandled:"), 1);

  Tick();
  EXPECT_EQ(display.VisibleCalls(), Visibility{true});
  EXPECT_EQ(LogCount("unhandled:"), 1);
  EXPECT_TRUE(window->IsOpen());
}

}  // namespace
