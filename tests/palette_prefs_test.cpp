// Where the palette finds the host's scripts folder, and the five-line
// preferences file that brings back its bounds and its folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime.h"
#include "tests/support/palette_fixture.h"

namespace {

using testsupport::PaletteTest;
namespace fs = std::filesystem;

constexpr const char* kCS4 = "/Applications/Adobe Illustrator CS4/Presets.localized/Scripts.localized";
constexpr const char* kCS3 = "/Applications/Adobe Illustrator CS3/Presets.localized/Scripts.localized";
constexpr const char* kCS2 = "/Applications/Adobe Illustrator CS2/Presets.localized/Scripts.localized";
constexpr const char* kCS = "/Applications/Adobe Illustrator CS/Presets.localized/Scripts.localized";
constexpr const char* kListingFailed = "スクリプトファイルが読み込めませんでした。";

std::string FolderPath(const palette::Window1& w) {
  return w.gMyScriptFolder ? w.gMyScriptFolder->AbsolutePath().str() : std::string("<nil>");
}


std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string FiveLines(int32_t l, int32_t t, int32_t w, int32_t h, const std::string& folder) {
  return std::to_string(l) + "\n" + std::to_string(t) + "\n" + std::to_string(w) + "\n" +
         std::to_string(h) + "\n" + folder + "\n";
}

// --- the host's version picks the default folder ---------------------------

struct VersionCase {
  const char* version;
  const char* folder;  // nullptr: no folder
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << '"' << c.version << '"'; }

class VersionTableTest : public PaletteTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionTableTest, VersionTextPicksTheScriptsFolder) {
  // The folder is only named, never made, and it is looked for under the
  // test's own stand-in for the root: the listing fails quietly.
  host.version = GetParam().version;
  Start();
  if (GetParam().folder) {
    ASSERT_TRUE(window->gMyScriptFolder);
    EXPECT_EQ(window->gMyScriptFolder->AbsolutePath().str(), BootVolume().string() + GetParam().folder);
  } else {
    EXPECT_TRUE(window->gMyScriptFolder.IsNil()) << FolderPath(*window);
  }
  EXPECT_EQ(host.calls.front(), "getAiVer");
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionTableTest,
    ::testing::Values(
        VersionCase{"14.0.0", kCS4},
        // "13" is tried before "10", wherever each stands in the text.
        VersionCase{"10.13", kCS3}, VersionCase{"13.0.2 (build 10)", kCS3},
        // Each key before the next one in the table.
        VersionCase{"13.14", kCS4}, VersionCase{"12.13", kCS3}, VersionCase{"11.12", kCS2},
        VersionCase{"10.11", kCS},
        VersionCase{"12.0.1", kCS2}, VersionCase{"11.0.0", kCS},
        VersionCase{"10.0.3", "/Applications/Adobe Illustrator 10.0.3/\u30D7\u30EA\u30BB\u30C3\u30C8/"
                              "\u30B9\u30AF\u30EA\u30D7\u30C8"},
        VersionCase{"", nullptr}, VersionCase{"9.0", nullptr}));

TEST_F(PaletteTest, OldHostFolderNamesArePrecomposed) {
  // A decomposed name would never match the folder a Japanese host made.
  host.version = "10.0.3";
  Start();
  ASSERT_TRUE(window->gMyScriptFolder);
  const std::string path = window->gMyScriptFolder->AbsolutePath().str();
  EXPECT_NE(path.find("\u30D7"), std::string::npos);        // プ
  EXPECT_EQ(path.find("\u30D5\u309A"), std::string::npos);  // フ + combining mark
  EXPECT_EQ(path.find("\u309A"), std::string::npos);
  EXPECT_EQ(path.find("\u3099"), std::string::npos);
}

// --- the first run and the way out ------------------------------------------

TEST_F(PaletteTest, FirstRunWithoutHostFolderIsQuietAndWritesFiveLines) {
  host.version = "";
  ASSERT_FALSE(fs::exists(PrefsFile()));
  Start();
  EXPECT_TRUE(window->gMyScriptFolder.IsNil());
  EXPECT_TRUE(display.Messages().empty());
  EXPECT_FALSE(HasUnhandled());
  EXPECT_EQ(window->Width(), 150);
  EXPECT_EQ(window->Height(), 200);

  const int32_t left = window->Left(), top = window->Top();
  CloseWindow();
  EXPECT_TRUE(platform::Quitting());
  EXPECT_EQ(ReadPrefs(), std::to_string(left) + "\n" + std::to_string(top) + "\n150\n200\n\n");
}

// --- restoring --------------------------------------------------------------

TEST_F(PaletteTest, SavedFolderWinsOverEveryHostVersion) {
  const fs::path folder = MakeFolder("mine", {"a.jsx", "Sub/b.scpt"});
  for (const char* version : {"14.0.0", "13.0", "10.0.3", ""}) {
    SCOPED_TRACE(version);
    host.version = version;
    WritePrefs(FiveLines(30, 60, 180, 220, folder.string()));
    Start();
    EXPECT_EQ(FolderPath(*window), folder.string());
    EXPECT_EQ(Shown(), (std::vector<std::string>{"a.jsx", "Sub"}));
    EXPECT_EQ(window->Bounds(), (platform::Rect{30, 60, 180, 220}));
    EXPECT_TRUE(display.Messages().empty());
    CloseWindow();
    palette::Finalize();
    platform::RuntimeShutdown();
    display.ClearLog();
  }
  started_ = false;
}

struct RestoreCase {
  const char* name;
  std::string content;  // "@F" stands for a scripts folder of the test
  platform::Rect bounds;
  bool folderFromPrefs;  // else the host's table folder (CS4)
};

// By name: the struct's padding is never read, and a huge content not shown.
void PrintTo(const RestoreCase& c, std::ostream* os) { *os << c.name; }

class RestoreTest : public PaletteTest, public ::testing::WithParamInterface<RestoreCase> {};

// Each file is read, the bounds come back as the window keeps them, no file
// can crash the palette, and the next close writes five clean lines.
TEST_P(RestoreTest, FileGivesBoundsAndFolder) {
  const RestoreCase& c = GetParam();
  const fs::path folder = MakeFolder("ス ク リ プ ト/scripts", {"one.jsx"});
  std::string content = c.content;
  for (auto at = content.find("@F"); at != std::string::npos; at = content.find("@F"))
    content.replace(at, 2, folder.string());
  WritePrefs(content);
  // Without screens the window keeps whatever bounds it is given, so the
  // reading itself shows.
  display.SetScreens({});
  host.version = "14.0.0";
  Start();

  EXPECT_EQ(window->Bounds(), c.bounds);
  const std::string expectedFolder =
      c.folderFromPrefs ? folder.string() : BootVolume().string() + kCS4;
  EXPECT_EQ(FolderPath(*window), expectedFolder);
  EXPECT_FALSE(HasUnhandled());
  if (c.folderFromPrefs) {
    EXPECT_EQ(Shown(), (std::vector<std::string>{"one.jsx"}));
    EXPECT_TRUE(display.Messages().empty());
  } else {
    EXPECT_EQ(display.Messages(), (std::vector<std::string>{kListingFailed}));
  }

  CloseWindow();
  EXPECT_TRUE(platform::Quitting());
  EXPECT_EQ(ReadPrefs(), FiveLines(c.bounds.left, c.bounds.top, c.bounds.width, c.bounds.height,
                                   expectedFolder));
}

std::string Garbage() {
  static const char kHead[] = "\0\x01\x02\xfe\xff\n\x80\x81\x82\n\0\0\0\n\x1b[2J\n\xff/\xfe\n";
  std::string g(kHead, sizeof kHead - 1);
  std::mt19937 random(7);
  for (int i = 0; i < 4096; ++i) g.push_back(static_cast<char>(random() & 0xff));
  return g;
}

INSTANTIATE_TEST_SUITE_P(
    Files, RestoreTest,
    ::testing::Values(
        RestoreCase{"Plain", "10\n20\n300\n400\n@F\n", {10, 20, 300, 400}, true},
        RestoreCase{"NegativeLeft", "-250\n-5\n150\n200\n@F\n", {-250, -5, 150, 200}, true},
        RestoreCase{"ThreeLines", "7\n8\n90\n", {7, 8, 90, 64}, false},
        RestoreCase{"Empty", "", {0, 0, 64, 64}, false},
        RestoreCase{"SizesBelowMinimum", "1\n2\n3\n-4\n", {1, 2, 64, 64}, false},
        RestoreCase{"LinesAfterTheFifth", "1\n2\n100\n110\n@F\n/tmp\nmore\n\n\n", {1, 2, 100, 110},
                    true},
        RestoreCase{"CrLf", "30\r\n40\r\n200\r\n250\r\n@F\r\n", {30, 40, 200, 250}, true},
        RestoreCase{"OldMacLineEnds", "30\r40\r200\r250\r@F\r", {30, 40, 200, 250}, true},
        RestoreCase{"Garbage", Garbage(), {0, 0, 64, 64}, false},
        RestoreCase{"InvalidUtf8", "\xff\xfe\x31\n\xc3\x28\n\xed\xa0\x80\n\xf8\x88\x80\x80\x80\n"
                                   "\xc0\xaf\n",
                    {0, 0, 64, 64}, false},
        RestoreCase{"HugeLine", std::string(6 << 20, 'x') + "\n10\n200\n300\n@F\n",
                    {0, 10, 200, 300}, true},
        RestoreCase{"HugeNumberLine", std::string(3 << 20, '9') + "\n1\n100\n100\n",
                    {INT32_MAX, 1, 100, 100}, false},
        RestoreCase{"BeyondThirtyTwoBits", "99999999999\n-99999999999\n99999999999\n99999999999\n",
                    {INT32_MAX, INT32_MIN, 32000, 32000}, false},
        RestoreCase{"TrailingLetters", "12abc\n  -3.9px\n1e2\n+150.7\n", {12, -3, 100, 150}, false},
        RestoreCase{"Letters", "abc\nx1\n-\n.\n", {0, 0, 64, 64}, false},
        RestoreCase{"RelativeFifthLine", "1\n2\n100\n100\nscripts/mine\n", {1, 2, 100, 100}, false},
        RestoreCase{"GarbageFifthLine", "1\n2\n100\n100\n\x01\xff~\n", {1, 2, 100, 100}, false}),
    [](const ::testing::TestParamInfo<RestoreCase>& info) { return std::string(info.param.name); });

TEST_F(PaletteTest, JapaneseFolderPathComesBackUnchanged) {
  const fs::path folder = MakeFolder("書類/スクリプト フォルダ", {"選択.jsx"});
  const std::string content = FiveLines(40, 50, 160, 210, folder.string());
  WritePrefs(content);
  Start();
  EXPECT_EQ(FolderPath(*window), folder.string());
  EXPECT_EQ(Shown(), (std::vector<std::string>{"選択.jsx"}));
  CloseWindow();
  EXPECT_EQ(ReadPrefs(), content);
}

TEST_F(PaletteTest, FolderPathIsKeptByteForByteUnlessItHoldsALineBreak) {
  // A path with a line break would be read back as its first line: another
  // folder ("a" here, which exists). Such a path is not kept at all, and the
  // next start falls back to the host's folder. Every other path is kept
  // as its bytes.
  const struct {
    const char* name;
    bool kept;
  } cases[] = {
      {"a\nb", false},        {"a\rb", false},      {"a\r\n", false},   {"a\n", false},
      {"caf\xE9 \xFF", true}, {"tab\there", true}, {"\x1b[2J\x7f", true}, {"書類 a", true},
  };
  MakeFolder("a", {"old.jsx"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = MakeFolder(c.name, {"x.jsx"});
    host.version = "14.0.0";
    WritePrefs(FiveLines(30, 60, 180, 220, ""));
    Start();
    display.AnswerFolder(folder.string());
    window->BevelButton1()->Push();
    ASSERT_EQ(FolderPath(*window), folder.string());
    CloseWindow();
    EXPECT_EQ(ReadPrefs(), FiveLines(30, 60, 180, 220, c.kept ? folder.string() : ""));
    palette::Finalize();
    platform::RuntimeShutdown();

    Start();
    EXPECT_EQ(FolderPath(*window), c.kept ? folder.string() : BootVolume().string() + kCS4);
    CloseWindow();
    palette::Finalize();
    platform::RuntimeShutdown();
    display.ClearLog();
  }
  started_ = false;
}

TEST_F(PaletteTest, OffScreenBoundsComeBackOntoTheScreen) {
  // Saved on a screen that is gone: the palette must still be reachable.
  WritePrefs("99999\n-99999\n150\n200\n");
  host.version = "";
  Start();
  EXPECT_GE(window->Left(), 0);
  EXPECT_LE(window->Left() + window->Width(), 1920);
  EXPECT_GE(window->Top(), 0);
  EXPECT_LE(window->Top() + window->Height(), 1080);
}

struct ScreenFitCase {
  const char* name;
  std::string bounds;  // the file's first four lines
  std::vector<platform::Rect> screens;
  platform::Rect expected;
};

void PrintTo(const ScreenFitCase& c, std::ostream* os) { *os << c.name; }

class ScreenFitTest : public PaletteTest, public ::testing::WithParamInterface<ScreenFitCase> {};

// Bounds that fit a screen come back exactly as saved; a window larger than
// its screen is brought down to it, wholly on it, and is saved so.
TEST_P(ScreenFitTest, RestoredWindowFitsItsScreen) {
  const ScreenFitCase& c = GetParam();
  WritePrefs(c.bounds);
  display.SetScreens(c.screens);
  host.version = "";
  Start();
  EXPECT_EQ(window->Bounds(), c.expected);
  CloseWindow();
  const platform::Rect& e = c.expected;
  EXPECT_EQ(ReadPrefs(), FiveLines(e.left, e.top, e.width, e.height, ""));
}

const platform::Rect kMain{0, 0, 1920, 1080};
const platform::Rect kRight{1920, 0, 1280, 1024};
const platform::Rect kAbove{0, -1080, 1920, 1080};

INSTANTIATE_TEST_SUITE_P(
    Files, ScreenFitTest,
    ::testing::Values(
        ScreenFitCase{"BeyondThirtyTwoBits", "4294967396\n4294967396\n4294967396\n4294967396\n",
                      {kMain}, kMain},
        ScreenFitCase{"ElevenNines", "99999999999\n99999999999\n99999999999\n99999999999\n",
                      {kMain}, kMain},
        ScreenFitCase{"Exponent", "1e30\n1e30\n1e30\n1e30\n", {kMain}, kMain},
        ScreenFitCase{"HugeNegative", "-99999999999\n-1e30\n99999999999\n99999999999\n",
                      {kMain, kRight}, kMain},
        ScreenFitCase{"TooWideOnly", "100\n50\n40000\n300\n", {kMain}, {0, 50, 1920, 300}},
        ScreenFitCase{"TooLargeForTheScreenItIsOn", "2000\n50\n1500\n900\n", {kMain, kRight},
                      {1920, 50, 1280, 900}},
        ScreenFitCase{"FitsExactly", "0\n0\n1920\n1080\n", {kMain}, kMain},
        ScreenFitCase{"FitsAsSaved", "10\n20\n300\n400\n", {kMain}, {10, 20, 300, 400}},
        ScreenFitCase{"PartlyOffButWithinReach", "1800\n900\n300\n400\n", {kMain},
                      {1800, 900, 300, 400}},
        ScreenFitCase{"OnTheOtherScreen", "2100\n40\n500\n600\n", {kMain, kRight},
                      {2100, 40, 500, 600}},
        // The window's top stays on a screen: above every screen it comes
        // down to the top of the one it is on; a screen above takes it.
        ScreenFitCase{"AboveTheOtherScreen", "2100\n-40\n500\n600\n", {kMain, kRight},
                      {2100, 0, 500, 600}},
        ScreenFitCase{"JustAboveTheScreen", "10\n-1\n150\n200\n", {kMain}, {10, 0, 150, 200}},
        ScreenFitCase{"OnAScreenAbove", "10\n-40\n150\n200\n", {kMain, kAbove},
                      {10, -40, 150, 200}},
        ScreenFitCase{"MinimumStaysOnATinyScreen", "0\n0\n100\n100\n", {{0, 0, 50, 50}},
                      {0, 0, 64, 64}}),
    [](const ::testing::TestParamInfo<ScreenFitCase>& info) {
      return std::string(info.param.name);
    });

// --- writing ----------------------------------------------------------------

TEST_F(PaletteTest, CloseReplacesThePreviousFileWhole) {
  host.version = "";
  std::string old;
  for (int i = 0; i < 2000; ++i) old += "old line " + std::to_string(i) + "\n";
  WritePrefs("5\n6\n100\n120\n\n" + old);
  Start();
  CloseWindow();
  EXPECT_EQ(ReadPrefs(), "5\n6\n100\n120\n\n");
  // Nothing beside it: the write leaves no temporary file behind.
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(ConfigDir())) names.push_back(e.path().filename());
  EXPECT_EQ(names, (std::vector<std::string>{"velquor.pref"}));
}

TEST_F(PaletteTest, MissingConfigFolderIsMade) {
  host.version = "";
  const fs::path nested = Home() / "deep" / "er" / "config";
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", nested.string());
  fs::remove_all(ConfigDir());
  Start();
  EXPECT_TRUE(fs::is_directory(nested));
  CloseWindow();
  EXPECT_TRUE(platform::Quitting());
  EXPECT_TRUE(fs::is_regular_file(nested / "velquor.pref"));
  EXPECT_EQ(fs::status(nested).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(PaletteTest, PrefsPathThatIsAFolderStillQuits) {
  host.version = "";
  fs::create_directories(PrefsFile() / "inside");
  Start();
  EXPECT_EQ(window->Width(), 150);
  CloseWindow();
  EXPECT_TRUE(platform::Quitting());
  EXPECT_TRUE(fs::is_directory(PrefsFile() / "inside"));
  EXPECT_FALSE(HasUnhandled());
}

// --- what stands where the file goes ----------------------------------------

enum class Kind { File, Link, Fifo, Socket, Folder };

void PrintTo(Kind kind, std::ostream* os) {
  static constexpr const char* kNames[] = {"file", "link", "fifo", "socket", "folder"};
  *os << kNames[static_cast<int>(kind)];
}

struct Made {
  const char* path;  // below the test's home
  Kind kind;
  const char* target = "";  // a link's text; "@/" stands for the home
};

struct PlaceCase {
  const char* name;
  std::vector<Made> made;  // in this order, before the palette opens
  const char* savedAt;     // the regular file the close writes; nullptr: none
};

void PrintTo(const PlaceCase& c, std::ostream* os) { *os << c.name; }

class PlaceTest : public PaletteTest, public ::testing::WithParamInterface<PlaceCase> {
 protected:
  std::string LinkText(const Made& m) const {
    std::string text = m.target;
    if (text.rfind("@/", 0) == 0) text = Home().string() + text.substr(1);
    return text;
  }

  void Make(const Made& m) {
    const fs::path path = Home() / m.path;
    fs::create_directories(path.parent_path());
    switch (m.kind) {
      case Kind::File: std::ofstream(path) << "old\n"; break;
      case Kind::Link: fs::create_symlink(LinkText(m), path); break;
      case Kind::Fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
      case Kind::Folder: fs::create_directories(path); break;
      case Kind::Socket: {
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(s, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(path.native().size(), sizeof address.sun_path);
        std::copy(path.native().begin(), path.native().end(), address.sun_path);
        ASSERT_EQ(::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(s);
        break;
      }
    }
  }

  // What stands there now, links not followed.
  static std::optional<Kind> KindAt(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    if (S_ISREG(st.st_mode)) return Kind::File;
    if (S_ISLNK(st.st_mode)) return Kind::Link;
    if (S_ISFIFO(st.st_mode)) return Kind::Fifo;
    if (S_ISSOCK(st.st_mode)) return Kind::Socket;
    if (S_ISDIR(st.st_mode)) return Kind::Folder;
    return std::nullopt;
  }

  static bool HasFinderInfo(const fs::path& path) {
    char info[32];
    return ::lgetxattr(path.c_str(), "user.com.apple.FinderInfo", info, sizeof info) >= 0;
  }

  static std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) names.insert(e.path().filename());
    return names;
  }
};

// The close writes where a regular file or nothing stands, through any
// links, which stay links; it never replaces, opens for writing or marks
// anything else, and the palette quits all the same.
TEST_P(PlaceTest, CloseWritesOnlyARegularFile) {
  const PlaceCase& c = GetParam();
  fs::remove_all(ConfigDir());
  std::vector<int> pipes;  // read ends, so that a writer would never block
  for (const Made& m : c.made) {
    Make(m);
    if (m.kind == Kind::Fifo) {
      pipes.push_back(::open((Home() / m.path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
      ASSERT_GE(pipes.back(), 0);
    }
  }
  std::set<std::string> folders = {"config"};
  for (const Made& m : c.made) folders.insert(fs::path(m.path).begin()->string());
  std::map<std::string, std::set<std::string>> before;
  for (const auto& folder : folders) before[folder] = NamesIn(Home() / folder);

  host.version = "";
  Start();
  const std::string expected =
      FiveLines(window->Left(), window->Top(), window->Width(), window->Height(), "");
  CloseWindow();
  EXPECT_TRUE(platform::Quitting());
  EXPECT_FALSE(HasUnhandled());

  for (const Made& m : c.made) {
    SCOPED_TRACE(m.path);
    const fs::path path = Home() / m.path;
    ASSERT_EQ(KindAt(path), m.kind);
    if (m.kind == Kind::Link) {
      EXPECT_EQ(fs::read_symlink(path).string(), LinkText(m));
    }
    if (m.kind == Kind::File && (!c.savedAt || path != Home() / c.savedAt)) {
      EXPECT_EQ(ReadText(path), "old\n");
    }
    if (m.kind == Kind::Folder && !(c.savedAt && fs::path(c.savedAt).parent_path() == m.path)) {
      EXPECT_FALSE(HasFinderInfo(path));
      EXPECT_TRUE(NamesIn(path).empty());
    }
  }
  for (const int fd : pipes) {
    char byte;
    EXPECT_LE(::read(fd, &byte, 1), 0) << "written into a pipe";
    ::close(fd);
  }
  if (c.savedAt) {
    const fs::path saved = Home() / c.savedAt;
    EXPECT_EQ(KindAt(saved), Kind::File);
    EXPECT_EQ(ReadText(saved), expected);
    before[fs::path(c.savedAt).begin()->string()].insert(saved.filename());
  }
  // Nothing else is made, no temporary file is left.
  for (const auto& folder : folders) {
    EXPECT_EQ(NamesIn(Home() / folder), before[folder]) << folder;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Places, PlaceTest,
    ::testing::Values(
        PlaceCase{"PlainFile", {{"config/velquor.pref", Kind::File}}, "config/velquor.pref"},
        PlaceCase{"NothingThere", {}, "config/velquor.pref"},
        PlaceCase{"LinkToAFile",
                  {{"dotfiles/velquor.pref", Kind::File},
                   {"config/velquor.pref", Kind::Link, "../dotfiles/velquor.pref"}},
                  "dotfiles/velquor.pref"},
        PlaceCase{"LinkToALinkToAFile",
                  {{"dotfiles/real", Kind::File},
                   {"dotfiles/velquor.pref", Kind::Link, "real"},
                   {"config/velquor.pref", Kind::Link, "@/dotfiles/velquor.pref"}},
                  "dotfiles/real"},
        // The one who made the link meant the file to stand there.
        PlaceCase{"DanglingLink",
                  {{"dotfiles", Kind::Folder},
                   {"config/velquor.pref", Kind::Link, "../dotfiles/velquor.pref"}},
                  "dotfiles/velquor.pref"},
        PlaceCase{"DanglingLinkIntoNoFolder",
                  {{"config/velquor.pref", Kind::Link, "../missing/velquor.pref"}}, nullptr},
        PlaceCase{"LinkToItself", {{"config/velquor.pref", Kind::Link, "velquor.pref"}}, nullptr},
        PlaceCase{"FifoAtThePath", {{"config/velquor.pref", Kind::Fifo}}, nullptr},
        PlaceCase{"LinkToAFifo",
                  {{"dotfiles/pipe", Kind::Fifo},
                   {"config/velquor.pref", Kind::Link, "@/dotfiles/pipe"}},
                  nullptr},
        PlaceCase{"LinkToALinkToAFifo",
                  {{"dotfiles/pipe", Kind::Fifo},
                   {"dotfiles/velquor.pref", Kind::Link, "pipe"},
                   {"config/velquor.pref", Kind::Link, "../dotfiles/velquor.pref"}},
                  nullptr},
        PlaceCase{"SocketAtThePath", {{"config/velquor.pref", Kind::Socket}}, nullptr},
        PlaceCase{"LinkToASocket",
                  {{"dotfiles/socket", Kind::Socket},
                   {"config/velquor.pref", Kind::Link, "../dotfiles/socket"}},
                  nullptr},
        PlaceCase{"FolderAtThePath", {{"config/velquor.pref", Kind::Folder}}, nullptr},
        PlaceCase{"LinkToAFolder",
                  {{"dotfiles", Kind::Folder},
                   {"config/velquor.pref", Kind::Link, "../dotfiles"}},
                  nullptr}),
    [](const ::testing::TestParamInfo<PlaceCase>& info) { return std::string(info.param.name); });

TEST_F(PaletteTest, NoPreferencesFolderAtAllStillQuits) {
  host.version = "";
  testsupport::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
  testsupport::ScopedEnv home("HOME", std::nullopt);
  Start();
  EXPECT_TRUE(window->gMyPref.IsNil());
  CloseWindow();
  EXPECT_TRUE(platform::Quitting());
  EXPECT_FALSE(HasUnhandled());
}

TEST_F(PaletteTest, WrittenFileCarriesThePrefType) {
  {
    const fs::path probe = Home() / "probe";
    std::ofstream(probe) << "x";
    if (::setxattr(probe.c_str(), "user.probe", "1", 1, 0) != 0) {
      GTEST_SKIP() << "no user extended attributes on this file system";
    }
  }
  host.version = "";
  Start();
  CloseWindow();
  char info[32] = {};
  const ssize_t n = ::getxattr(PrefsFile().c_str(), "user.com.apple.FinderInfo", info, sizeof info);
  ASSERT_GE(n, 4);
  EXPECT_EQ(std::string(info, 4), "pref");

  // A later close keeps it (the file is replaced, not rewritten in place).
  palette::Finalize();
  platform::RuntimeShutdown();
  Start();
  CloseWindow();
  std::fill(std::begin(info), std::end(info), 0);
  ASSERT_GE(::getxattr(PrefsFile().c_str(), "user.com.apple.FinderInfo", info, sizeof info), 4);
  EXPECT_EQ(std::string(info, 4), "pref");
}

// A child process saves over and over and is killed at a random moment;
// the file it leaves is always one complete save, never a missing or a
// partial one.
TEST_F(PaletteTest, KillDuringSavesLeavesOneCompleteFile) {
  host.version = "";
  Start();
  // What save number i writes; its length varies so a cut one shows.
  auto saved = [](int32_t i) {
    return std::string("/s/") + std::string(static_cast<std::size_t>(i % 3000) + 1, 'x');
  };
  auto save = [&](int32_t i) {
    window->SetLeft(i);
    window->gMyScriptFolder = platform::FolderItem::FromPath(saved(i));
    window->Event_Close();
  };
  const int32_t top = window->Top();
  save(0);
  ASSERT_EQ(ReadPrefs(), FiveLines(0, top, 150, 200, saved(0)));

  std::mt19937 random(std::random_device{}());
  int32_t start = 1;
  for (int round = 0; round < 12; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Never back into the test framework from here.
      for (int32_t i = start;; ++i) save(i);
      _exit(0);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500 + random() % 20000));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    ASSERT_TRUE(fs::is_regular_file(PrefsFile())) << "round " << round;
    const std::string content = ReadPrefs();
    const int32_t i = platform::ToInt32(platform::Val(content));
    EXPECT_EQ(content, FiveLines(i, top, 150, 200, saved(i))) << "round " << round;
    start = i + 1000000;  // every round writes saves of its own
  }
}

}  // namespace
