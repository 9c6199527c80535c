// The button under the list: the user picks another scripts folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>

#include "platform/runtime.h"
#include "tests/support/palette_fixture.h"

namespace {

using testsupport::PaletteTest;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

constexpr const char* kActivate = "host: activate misc actv ART5";
constexpr const char* kListingFailed = "スクリプトファイルが読み込めませんでした。";
constexpr const char* kStartHost = "Illustratorを起動してください。";

class ChooserTest : public PaletteTest {
 protected:
  // The palette opened on `folder` through the preferences file.
  void OpenOn(const fs::path& folder) {
    WritePrefs("10\n20\n150\n200\n" + folder.string() + "\n");
    Start();
    display.ClearLog();
  }
  void Press() { window->BevelButton1()->Push(); }
  std::string Folder() const {
    return window->gMyScriptFolder ? window->gMyScriptFolder->AbsolutePath().str() : "<nil>";
  }
};

TEST_F(ChooserTest, DialogComesWithThePaletteHiddenAndHostActivatedAfter) {
  const fs::path old = MakeFolder("old", {"a.jsx"});
  const fs::path other = MakeFolder("other", {"b.jsx"});
  OpenOn(old);

  display.AnswerFolder(other.string());
  Press();
  EXPECT_EQ(display.Log(), (Names{"host: acctivemyapp", "visible: false",
                                  "folder dialog: スクリプトフォルダ指定", "visible: true",
                                  kActivate}));
  ASSERT_EQ(display.Dialogs().size(), 1u);
  const platform::FolderDialogTexts texts = display.Dialogs()[0];
  EXPECT_EQ(texts.actionButtonCaption.str(), "選択");
  EXPECT_EQ(texts.title.str(), "スクリプトフォルダ指定");
  EXPECT_EQ(texts.promptText.str(), "スクリプトフォルダを選択してください。");
  EXPECT_EQ(Shown(), (Names{"b.jsx"}));
}

TEST_F(ChooserTest, CancelChangesNothingButShowsAndActivates) {
  const fs::path old = MakeFolder("old", {"a.jsx", "Tools/t.scpt"});
  OpenOn(old);
  const auto rows = Rows();

  display.AnswerFolder(std::nullopt);
  Press();
  EXPECT_EQ(Folder(), old.string());
  EXPECT_EQ(Rows(), rows);
  EXPECT_TRUE(window->Visible());
  EXPECT_EQ(display.Log().back(), kActivate);
  EXPECT_TRUE(display.Messages().empty());
}

TEST_F(ChooserTest, ChosenFolderReplacesTheListing) {
  const fs::path old = MakeFolder("old", {"a.jsx", "Old/o.jsx"});
  const fs::path other = MakeFolder("other", {"b.jsx", "New/n.scpt", "z.app"});
  OpenOn(old);

  display.AnswerFolder(other.string());
  Press();
  EXPECT_EQ(Folder(), other.string());
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{
                        {"b.jsx", ""}, {"New", "n.scpt<>"}, {"z.app", ""}}));

  // The same folder once more reads it anew.
  std::ofstream(other / "c.jsx") << "//";
  fs::remove(other / "z.app");
  display.AnswerFolder(other.string());
  Press();
  EXPECT_EQ(Shown(), (Names{"b.jsx", "c.jsx", "New"}));
  EXPECT_TRUE(display.Messages().empty());
}

TEST_F(ChooserTest, FirstFolderForAPaletteThatHadNone) {
  host.version = "";
  Start();
  ASSERT_TRUE(window->gMyScriptFolder.IsNil());
  ASSERT_EQ(window->LB1()->ListCount(), 0);
  const fs::path folder = MakeFolder("first", {"x.jsx", "Y/y.jsx"});

  display.AnswerFolder(folder.string());
  Press();
  EXPECT_EQ(Folder(), folder.string());
  EXPECT_EQ(Shown(), (Names{"x.jsx", "Y"}));
  EXPECT_TRUE(display.Messages().empty());
}

TEST_F(ChooserTest, EmptyFolderIsReportedAndNoOldRowStays) {
  // Every row shown belongs to the folder the palette will save: an old
  // row would hand the host a file of the old folder under the new one.
  const fs::path old = MakeFolder("old", {"a.jsx", "Tools/t.scpt"});
  OpenOn(old);
  window->LB1()->SetExpanded(1, true);
  ASSERT_EQ(Shown(), (Names{"a.jsx", "Tools", "t.scpt"}));
  // Nothing at all, or only what the listing leaves out.
  const fs::path empties[] = {MakeFolder("empty", {}), MakeFolder("dots", {".DS_Store", ".git/"})};
  for (const fs::path& empty : empties) {
    SCOPED_TRACE(empty);
    display.ClearLog();
    display.AnswerFolder(empty.string());
    std::optional<int32_t> rowsWhileShown;
    display.AnswerMessage([&] { rowsWhileShown = window->LB1()->ListCount(); });
    Press();
    // The host has the front back before the new folder is listed, and the
    // listing's own message takes it again.
    EXPECT_EQ(display.Log(), (Names{"host: acctivemyapp", "visible: false",
                                    "folder dialog: スクリプトフォルダ指定", "visible: true",
                                    kActivate, "host: acctivemyapp",
                                    std::string("message: ") + kListingFailed, kActivate}));
    EXPECT_EQ(rowsWhileShown, 0);
    EXPECT_EQ(Folder(), empty.string());
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(window->LB1()->ColumnCount(), 1);
    EXPECT_FALSE(HasUnhandled());
  }
}

TEST_F(ChooserTest, EmptyFolderFirstKeepsTheColumnsOfAnUnfilledList) {
  host.version = "";
  Start();
  display.AnswerFolder(MakeFolder("empty", {}).string());
  Press();
  EXPECT_EQ(display.Messages(), (Names{kListingFailed}));
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(window->LB1()->ColumnCount(), 2);
}

TEST_F(ChooserTest, ChosenFolderIsSavedAndListedByTheNextPalette) {
  const fs::path old = MakeFolder("old", {"a.jsx"});
  const fs::path other = MakeFolder("その他", {"b.jsx", "Sub/s.jsx"});
  OpenOn(old);
  display.AnswerFolder(other.string());
  Press();
  CloseWindow();
  const std::string saved = ReadPrefs();
  EXPECT_EQ(saved.substr(saved.find("\n150\n200\n")), "\n150\n200\n" + other.string() + "\n");

  palette::Finalize();
  platform::RuntimeShutdown();
  Start();
  EXPECT_EQ(Folder(), other.string());
  EXPECT_EQ(Shown(), (Names{"b.jsx", "Sub"}));
}

TEST_F(ChooserTest, HostNotRunningIsReportedAndChoiceStillApplies) {
  const fs::path old = MakeFolder("old", {"a.jsx"});
  const fs::path other = MakeFolder("other", {"b.jsx"});
  OpenOn(old);
  host.running = false;

  display.AnswerFolder(other.string());
  Press();
  const Names& log = display.Log();
  const auto dialog = std::find(log.begin(), log.end(), "folder dialog: スクリプトフォルダ指定");
  const auto message = std::find(log.begin(), log.end(), std::string("message: ") + kStartHost);
  ASSERT_NE(message, log.end());
  EXPECT_LT(dialog, message);
  EXPECT_EQ(display.Messages(), (Names{kStartHost}));
  EXPECT_EQ(Folder(), other.string());
  EXPECT_EQ(Shown(), (Names{"b.jsx"}));
  EXPECT_TRUE(window->Visible());
}

TEST_F(ChooserTest, FailedActivationIsDroppedBeforeAnyDialog) {
  const fs::path old = MakeFolder("old", {"a.jsx"});
  OpenOn(old);
  host.failNext = "acctivemyapp";
  display.AnswerFolder(MakeFolder("other", {"b.jsx"}).string());

  Press();
  EXPECT_TRUE(display.Dialogs().empty());
  EXPECT_FALSE(HasUnhandled());
  EXPECT_TRUE(display.Messages().empty());
  EXPECT_TRUE(window->Visible());
  EXPECT_EQ(Folder(), old.string());
  EXPECT_EQ(Shown(), (Names{"a.jsx"}));

  // The answer was never used, and the next press works.
  Press();
  EXPECT_EQ(display.Dialogs().size(), 1u);
  EXPECT_EQ(Shown(), (Names{"b.jsx"}));
}

}  // namespace
