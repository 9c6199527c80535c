// The message boxes and the folder dialog on the real Qt Widgets display,
// off screen: Qt's own texts in Japanese once they are needed and the
// menus untouched by them, the dialog's details in Japanese and whole, and
// nothing of Qt's left in the user's configuration folder.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "palette/app.h"
#include "palette/configuration.h"
#include "palette/window1.h"
#include "platform/bevelbutton.h"
#include "platform/display.h"
#include "platform/qt/dialog_inspect.h"
#include "platform/qt/qt_display.h"
#include "platform/qt/qt_inspect.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "tests/support/palette_fixture.h"
#include "tests/support/qt_palette_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace qi = platform::qtinspect;
namespace di = platform::dialoginspect;
using Names = std::vector<std::string>;


// The menus as the palette has always drawn them.
const Names kMenus{
    "[ファイル]", "終了\tCtrl+Q",
    "[編集]",     "元に戻す\tCtrl+Z", "-", "カット\tCtrl+X", "コピー\tCtrl+C", "貼り付け\tCtrl+V",
    "削除",       "-",                "すべてを選択\tCtrl+A",
};

class QtDialogTest : public testsupport::QtPaletteFixture {
 protected:
  // The palette opened on `folder`, Qt's language changes counted from
  // before it starts.
  void OpenOn(const fs::path& folder) {
    di::CountLanguageChanges();
    QtPaletteFixture::OpenOn(folder);
  }

  fs::path Sample() { return MakeFolder("scripts", {"A.jsx", "Tools/b.scpt"}); }
  void ClickChooser() { qi::ClickButton(window->BevelButton1().Deref()); }

};

TEST_F(QtDialogTest, QtsOwnTextsComeWithTheFirstModalOnceAndLeaveTheMenusAlone) {
  // The first modal is a message box at start-up, before the window
  // shows, or the folder dialog once it shows.
  for (const bool boxFirst : {true, false}) {
    SCOPED_TRACE(boxFirst ? "message box first" : "folder dialog first");
    std::optional<std::string> cancelInFirst;
    qi::AnswerNextModal(
        [&](const qi::ModalView&) { cancelInFirst = di::QtText("QPlatformTheme", "Cancel"); });
    if (boxFirst) {
      OpenOn(MakeFolder("dots", {".only-dot"}));
      ASSERT_TRUE(cancelInFirst);
    } else {
      OpenOn(Sample());
      ASSERT_FALSE(cancelInFirst);
      // Nothing shown so far needs Qt's own texts: they wait.
      EXPECT_EQ(di::QtText("QPlatformTheme", "Cancel"), "Cancel");
      EXPECT_EQ(di::LanguageChanges(), 0);
      EXPECT_EQ(di::ShownMenus(*window), kMenus);
      ClickChooser();
      ASSERT_TRUE(cancelInFirst);
    }
    EXPECT_EQ(*cancelInFirst, "キャンセル");
    EXPECT_EQ(di::ShownMenus(*window), kMenus);

    // A dialog chosen on a folder that lists nothing, then its message:
    // the texts are there already and are not loaded again.
    const fs::path empty = MakeFolder(boxFirst ? "empty1" : "empty2", {});
    bool boxSeen = false;
    qi::AnswerNextModal(
        [&](const qi::ModalView&) {
          qi::AnswerNextModal([&](const qi::ModalView&) { boxSeen = true; });
        },
        empty.string());
    ClickChooser();
    EXPECT_TRUE(boxSeen);
    qi::ProcessEvents(20);
    EXPECT_EQ(di::LanguageChanges(), 1);
    EXPECT_EQ(di::ShownMenus(*window), kMenus);

    window->Close();
    EXPECT_EQ(Finish(), 0);
    window.reset();
    qi::ProcessEvents(20);
    fs::remove(PrefsFile());
    qt_.reset();
    MakeDisplay();
    ASSERT_TRUE(qt_);
  }
}

TEST_F(QtDialogTest, FolderDialogShowsKindAndDateInJapaneseWhole) {
  OpenOn(Sample());
  // A sub-folder dated with two-digit fields throughout, the widest a date
  // gets, in local time as the dialog shows it.
  const fs::path browsed = MakeFolder("browsed", {"Sub/"});
  std::tm late{};
  late.tm_year = 2026 - 1900;
  late.tm_mon = 11;
  late.tm_mday = 31;
  late.tm_hour = 23;
  late.tm_min = 59;
  late.tm_isdst = -1;
  const std::time_t when = std::mktime(&late);
  const struct timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (browsed / "Sub").c_str(), times, 0), 0);

  const fs::path shot = fs::path(TESSALINE_BUILD_DIR) / "screenshots" / "folder_dialog.png";
  std::error_code ec;
  fs::remove(shot, ec);
  std::optional<di::FolderDialogView> seen;
  di::LookAtNextFolderDialog(browsed.string(), "Sub", shot.string(),
                             [&](const di::FolderDialogView& v) { seen = v; });
  ClickChooser();

  ASSERT_TRUE(seen);
  ASSERT_TRUE(seen->rowFound);
  EXPECT_EQ(seen->headers, (Names{"名前", "サイズ", "タイプ", "更新日"}));
  EXPECT_EQ(seen->type, "フォルダ");
  EXPECT_EQ(seen->date, "2026/12/31 23:59");
  EXPECT_TRUE(seen->typeFits);
  EXPECT_TRUE(seen->dateFits);
  EXPECT_TRUE(seen->screenshotSaved);
  EXPECT_GT(fs::file_size(shot, ec), 2000u);
}

// Qt looks up the user's configuration folder once per process; ctest runs
// each test in a process of its own, so Qt's files would land in this one's.
TEST_F(QtDialogTest, ConfigurationFolderHoldsOnlyThePreferencesAfterTheDialog) {
  OpenOn(Sample());
  const fs::path other = MakeFolder("other", {"Z.js"});
  qi::AnswerNextModal({}, other.string());
  ClickChooser();
  ASSERT_EQ(window->gMyScriptFolder->AbsolutePath().str(), other.string());
  qi::AnswerNextModal({});
  ClickChooser();
  window->Close();
  ASSERT_EQ(ReadPrefs(), "10\n40\n150\n200\n" + other.string() + "\n");

  Names kept;
  for (const fs::directory_entry& e : fs::directory_iterator(ConfigDir())) {
    kept.push_back(e.path().filename().string());
  }
  EXPECT_EQ(kept, Names{"velquor.pref"});
  // Nor anywhere else in the home folder.
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(Home())) {
    EXPECT_EQ(e.path().filename().string().find("QtProject"), std::string::npos) << e.path();
  }
}

}  // namespace
