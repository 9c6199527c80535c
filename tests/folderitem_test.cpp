#include "platform/folderitem.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/specialfolders.h"
#include "platform/textstreams.h"
#include "tests/support/permissions.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCannotDeny =
    "folder permissions deny nothing here, not even with root's capabilities lowered";

// ---------------------------------------------------------------------------
// Fixtures

class ScopedEnv {
 public:
  ScopedEnv(std::string name, const char* value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const char* value) {
    if (value) {
      ::setenv(name_.c_str(), value, 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void MakeExecutable(const std::string& path, const std::string& script) {
  WriteBytes(path, script);
  ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
}

bool WaitFor(const std::string& path, std::chrono::seconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code ec;
    if (fs::exists(path, ec) && fs::file_size(path, ec) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Every test gets a fresh folder, with its own home and preferences folder
// inside, so nothing reaches the real home.
class FolderItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tessaline-folderitem-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    root_ = base_ + "/t";
    homeDir_ = base_ + "/home";
    fs::create_directory(root_);
    fs::create_directory(homeDir_);
    home_.emplace("HOME", homeDir_.c_str());
    config_.emplace("XDG_CONFIG_HOME", (base_ + "/config").c_str());
  }

  void TearDown() override {
    config_.reset();
    home_.reset();
    std::error_code ec;
    // Undo any read-only folders a test left, so the tree can go.
    for (auto it = fs::recursive_directory_iterator(base_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0755);
    }
    fs::remove_all(base_, ec);
  }

  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  Ref<FolderItem> Root() const { return FolderItem::FromPath(root_); }

  static std::vector<std::string> Names(FolderItem& folder) {
    std::vector<std::string> names;
    const int32_t n = folder.Count();
    for (int32_t i = 1; i <= n; ++i) names.push_back(folder.Item(i)->Name().str());
    return names;
  }

  static std::vector<std::string> Lines(const Ref<TextInputStream>& in) {
    std::vector<std::string> lines;
    // Bounded, so a stream that never reaches its end fails instead of hanging.
    for (int guard = 0; !in->EndOfFile() && guard < 10000; ++guard) lines.push_back(in->ReadLine().str());
    return lines;
  }

  std::string base_;     // removed at the end
  std::string root_;     // the folder the test works in
  std::string homeDir_;  // $HOME
  std::optional<ScopedEnv> home_;
  std::optional<ScopedEnv> config_;
};

// ---------------------------------------------------------------------------
// Paths

TEST_F(FolderItemTest, FromPathFoldsDotsAndSlashesLexically) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"/", "/"},
      {"//", "/"},
      {"/a//b/", "/a/b"},
      {"/a/./b/.", "/a/b"},
      {"/a/../b", "/b"},
      {"/a/b/..", "/a"},
      {"/..", "/"},
      {"/../../x", "/x"},
      {"/a/.../b", "/a/.../b"},  // "..." is a name
      {"/.hidden/..x", "/.hidden/..x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    auto item = FolderItem::FromPath(c.in);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->AbsolutePath().str(), c.out);
  }

  // Lexical: "link/.." is the folder holding the link, not the target's parent.
  fs::create_directories(Path("deep/inner"));
  fs::create_directory_symlink(Path("deep/inner"), Path("link"));
  EXPECT_EQ(FolderItem::FromPath(Path("link/.."))->AbsolutePath().str(), root_);
}

TEST_F(FolderItemTest, TextsThatNameNoItemGiveNil) {
  const std::string cases[] = {"", "a", "./a", "~/x", "a/b", std::string("/a\0b", 4)};
  for (const auto& text : cases) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(FolderItem::FromPath(text));
    EXPECT_FALSE(GetFolderItem(text, 0));
  }
  EXPECT_FALSE(GetFolderItem("/tmp", 1));
  EXPECT_FALSE(GetFolderItem("/tmp", -1));
  EXPECT_TRUE(GetFolderItem("/tmp", 0));
}

TEST_F(FolderItemTest, AbsolutePathRoundTripsNamesOfAnyKind) {
  const std::vector<std::string> chains[] = {
      {"Applications", "Adobe Illustrator 10.0.3", "プリセット", "スクリプト"},
      {"with space", " leading and trailing "},
      {"it's", "\"quoted\"", "back\\slash"},
      {"$HOME", "*?[]", "semi;colon&amp"},
      {"パレット.jsx"},
      {"\xFF\xFEnot utf-8"},
  };
  int n = 0;
  for (const auto& chain : chains) {
    // Each chain in a folder of its own, so its last step is alone there.
    const std::string base = Path("case" + std::to_string(++n));
    std::string path = base;
    for (const auto& name : chain) path += "/" + name;
    SCOPED_TRACE(path);
    fs::create_directories(path);

    auto item = FolderItem::FromPath(path);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->AbsolutePath().str(), path);
    EXPECT_EQ(item->Name().str(), chain.back());
    EXPECT_EQ(item->DisplayName().str(), chain.back());
    EXPECT_TRUE(item->Exists());
    EXPECT_TRUE(item->Directory());

    auto again = GetFolderItem(item->AbsolutePath(), 0);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->AbsolutePath().str(), path);

    // The same item reached by walking down from the temporary folder.
    Ref<FolderItem> walked = FolderItem::FromPath(base);
    for (const auto& name : chain) {
      walked = walked->Child(name);
      ASSERT_TRUE(walked);
    }
    EXPECT_EQ(walked->AbsolutePath().str(), path);

    // And by listing: the reading hands back the bytes of the name.
    auto parent = item->Parent();
    ASSERT_EQ(parent->Count(), 1);
    EXPECT_EQ(parent->Item(1)->AbsolutePath().str(), path);
  }
}

TEST_F(FolderItemTest, ChildRefusesNamesThatAreNotOneStep) {
  auto folder = Root();
  const std::string refused[] = {"", ".", "..", "a/b", "/", "/a", "a/", std::string("a\0b", 3)};
  for (const auto& name : refused) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(folder->Child(name));
  }
  const std::string accepted[] = {"...", ".x", "..x", " ", "パ", "missing-file"};
  for (const auto& name : accepted) {
    SCOPED_TRACE(name);
    auto child = folder->Child(name);
    ASSERT_TRUE(child);
    EXPECT_EQ(child->AbsolutePath().str(), root_ + "/" + name);
    EXPECT_EQ(child->Name().str(), name);
  }
  EXPECT_FALSE(folder->Child("missing-file")->Exists());
  EXPECT_EQ(Volume(0)->Child("etc")->AbsolutePath().str(), "/etc");  // not "//etc"
}

TEST_F(FolderItemTest, ParentStepsUpToTheRootAndStops) {
  EXPECT_EQ(FolderItem::FromPath("/a/b")->Parent()->AbsolutePath().str(), "/a");
  EXPECT_EQ(FolderItem::FromPath("/a")->Parent()->AbsolutePath().str(), "/");
  EXPECT_FALSE(FolderItem::FromPath("/")->Parent());
}

TEST_F(FolderItemTest, VolumeZeroIsTheRootAndThereIsNoOther) {
  auto root = Volume(0);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->AbsolutePath().str(), "/");
  EXPECT_TRUE(root->Directory());
  EXPECT_TRUE(root->Exists());
  EXPECT_FALSE(Volume(1));
  EXPECT_FALSE(Volume(-1));
}

// ---------------------------------------------------------------------------
// Listing

TEST_F(FolderItemTest, ListingIsCaseFoldedThenByteOrdered) {
  const std::vector<std::string> expected = {
      "_x", "A", "a", "A1", "AB", "Ab", "aB", "ab", "B", "b", "Z", "z", "É", "é", "パレット"};
  std::vector<std::string> creation = expected;
  std::reverse(creation.begin(), creation.end());
  for (const auto& name : creation) WriteBytes(Path(name), "x");
  auto folder = Root();
  EXPECT_EQ(Names(*folder), expected);
}

TEST_F(FolderItemTest, WhatIsNotAReadableFolderCountsNothing) {
  WriteBytes(Path("plain"), "not a folder");
  const std::string cases[] = {Path("missing"), Path("plain"), Path("plain/below")};
  for (const auto& path : cases) {
    SCOPED_TRACE(path);
    auto item = FolderItem::FromPath(path);
    EXPECT_EQ(item->Count(), 0);
    EXPECT_FALSE(item->Item(1));
  }
  testsupport::OrdinaryPermissions user;
  ASSERT_TRUE(testsupport::OrdinaryPermissions::Deny(Path("probe"))) << kCannotDeny;
  fs::create_directory(Path("locked"));
  WriteBytes(Path("locked/inside"), "x");
  ::chmod(Path("locked").c_str(), 0);
  EXPECT_EQ(FolderItem::FromPath(Path("locked"))->Count(), 0);
}

TEST_F(FolderItemTest, ItemOutsideOneToCountIsNil) {
  for (const char* name : {"one", "two", "three"}) WriteBytes(Path(name), "x");
  auto folder = Root();
  // Item reads the folder itself when Count was not asked first.
  ASSERT_TRUE(folder->Item(1));
  EXPECT_EQ(folder->Item(1)->Name().str(), "one");
  ASSERT_EQ(folder->Count(), 3);
  for (int32_t index : {0, -1, 4, INT32_MAX, INT32_MIN}) {
    SCOPED_TRACE(index);
    EXPECT_FALSE(folder->Item(index));
  }
  EXPECT_EQ(folder->Item(3)->Name().str(), "two");
}

TEST_F(FolderItemTest, EachCountIsAFreshReading) {
  WriteBytes(Path("first"), "x");
  auto folder = Root();
  ASSERT_EQ(folder->Count(), 1);
  WriteBytes(Path("second"), "x");
  EXPECT_EQ(folder->Item(2), nullptr);  // still the reading Count made
  ASSERT_EQ(folder->Count(), 2);
  EXPECT_EQ(folder->Item(2)->Name().str(), "second");
  // Once the reading is let go, items come from a new one; an item already
  // handed out keeps what it knew.
  auto first = folder->Item(1);
  folder->EndReading();
  WriteBytes(Path("third"), "x");
  ASSERT_TRUE(folder->Item(3));
  EXPECT_EQ(folder->Item(3)->Name().str(), "third");
  EXPECT_EQ(first->Name().str(), "first");
  EXPECT_TRUE(first->Visible());
  EXPECT_FALSE(first->Directory());
}

TEST_F(FolderItemTest, DotNamesAndHiddenFileNamesAreInvisible) {
  for (const char* name : {".dot", "shown", "listed", "with space", "crlf", "also shown"}) {
    WriteBytes(Path(name), "x");
  }
  // Blank lines and a Windows line end must not hide or break anything.
  WriteBytes(Path(".hidden"), "listed\n\nwith space\ncrlf\r\nnot-there\n");

  auto folder = Root();
  std::vector<std::string> visible;
  for (int32_t i = 1, n = folder->Count(); i <= n; ++i) {
    auto item = folder->Item(i);
    if (item->Visible()) visible.push_back(item->Name().str());
    // An item made by name answers the same as the listed one.
    EXPECT_EQ(folder->Child(item->Name())->Visible(), item->Visible()) << item->Name();
  }
  EXPECT_EQ(visible, (std::vector<std::string>{"also shown", "shown"}));
  EXPECT_TRUE(FolderItem::FromPath(root_)->Visible());  // its own parent has no .hidden
  EXPECT_TRUE(Volume(0)->Visible());
}

// The ".hidden" file is read with the folder, once; items of that reading
// answer from it and from the entry types readdir gave, so walking a large
// folder costs no call per item.
TEST_F(FolderItemTest, ItemsAnswerFromTheirReading) {
  fs::create_directories(Path("f/sub"));
  WriteBytes(Path("f/secret"), "x");
  WriteBytes(Path("f/public"), "x");
  WriteBytes(Path("f/.hidden"), "secret\n");
  auto folder = FolderItem::FromPath(Path("f"));
  ASSERT_EQ(folder->Count(), 4);  // .hidden, public, secret, sub
  auto pub = folder->Item(2);
  auto secret = folder->Item(3);
  auto sub = folder->Item(4);
  ASSERT_EQ(sub->Name().str(), "sub");

  WriteBytes(Path("f/.hidden"), "public\n");
  EXPECT_FALSE(secret->Visible());
  EXPECT_TRUE(pub->Visible());
  // Items made afresh see the file as it is now.
  EXPECT_TRUE(folder->Child("secret")->Visible());
  EXPECT_FALSE(folder->Child("public")->Visible());

  fs::rename(Path("f"), Path("moved"));
  EXPECT_TRUE(sub->Directory());
  EXPECT_FALSE(folder->Child("sub")->Directory());
  EXPECT_FALSE(sub->Exists());  // existence is always asked of the disk
}

TEST_F(FolderItemTest, DirectoryFollowsLinksAndLoopsDoNotHang) {
  fs::create_directory(Path("real"));
  WriteBytes(Path("real/inside"), "x");
  WriteBytes(Path("file"), "x");
  fs::create_directory_symlink(Path("real"), Path("to-folder"));
  fs::create_symlink(Path("file"), Path("to-file"));
  fs::create_symlink(Path("nowhere"), Path("broken"));
  fs::create_symlink(Path("loop-b"), Path("loop-a"));
  fs::create_symlink(Path("loop-a"), Path("loop-b"));
  fs::create_symlink(Path("self"), Path("self"));

  struct Case {
    const char* name;
    bool directory;
  };
  const Case cases[] = {
      {"real", true},      {"file", false},    {"to-folder", true}, {"to-file", false},
      {"broken", false},   {"loop-a", false},  {"loop-b", false},   {"self", false},
  };
  auto folder = Root();
  ASSERT_EQ(folder->Count(), 8);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto byName = folder->Child(c.name);
    EXPECT_EQ(byName->Directory(), c.directory);
    EXPECT_TRUE(byName->Exists());  // a broken link is still there
    Ref<FolderItem> listed;
    for (int32_t i = 1; i <= folder->Count(); ++i) {
      if (folder->Item(i)->Name().str() == c.name) listed = folder->Item(i);
    }
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->Directory(), c.directory);
  }
  // Listing through a link lists the target; a loop lists nothing.
  EXPECT_EQ(Names(*folder->Child("to-folder")), std::vector<std::string>{"inside"});
  EXPECT_EQ(folder->Child("loop-a")->Count(), 0);
  EXPECT_EQ(folder->Child("self")->Count(), 0);
  EXPECT_FALSE(folder->Child("broken")->OpenAsTextFile());
}

// A folder of `entries` empty files, one in ten listed in ".hidden", a
// folder and a link to it.
void MakeLargeFolder(const std::string& folder, int entries) {
  fs::create_directory(folder);
  std::string hidden;
  for (int i = 0; i < entries; ++i) {
    char name[32];
    // Mixed case and out of order, so the listing really folds, breaks ties
    // and sorts.
    std::snprintf(name, sizeof name, "%c%06d", (i % 2) ? 'F' : 'f', (i * 7919) % entries);
    const std::string path = folder + "/" + name;
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ::close(fd);
    if (i % 10 == 0) hidden += std::string(name) + "\n";
  }
  WriteBytes(folder + "/.hidden", hidden);
  fs::create_directory(folder + "/a-folder");
  fs::create_directory_symlink(folder + "/a-folder", folder + "/a-link");
}

struct Walk {
  int32_t count = 0;
  int visible = 0;
  int folders = 0;
  bool ordered = true;
};

// What the palette's fill asks of a folder: one reading, then every item's
// name, visibility and kind.
Walk WalkFolder(const std::string& path) {
  Walk walk;
  auto folder = FolderItem::FromPath(path);
  walk.count = folder->Count();
  std::string previous;
  for (int32_t i = 1; i <= walk.count; ++i) {
    auto item = folder->Item(i);
    std::string name = item->Name().str();
    if (i > 1 && !NameLess(previous, name)) walk.ordered = false;
    previous = std::move(name);
    if (item->Visible()) ++walk.visible;
    if (item->Directory()) ++walk.folders;
  }
  return walk;
}

// The processor time of this thread, the kernel's share included, so that
// other programs running at the same time do not count.
double ThreadSeconds() {
  timespec t {};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

TEST_F(FolderItemTest, HundredThousandEntriesListQuickly) {
  constexpr int kEntries = 100000;
  MakeLargeFolder(Path("big"), kEntries);
  MakeLargeFolder(Path("tenth"), kEntries / 10);

  const Walk walk = WalkFolder(Path("big"));
  EXPECT_EQ(walk.count, kEntries + 3);
  EXPECT_TRUE(walk.ordered);
  EXPECT_EQ(walk.visible, kEntries - kEntries / 10 + 2);
  EXPECT_EQ(walk.folders, 2);

  // Ten times the entries cost about ten times as much (a little more for
  // the sort's log n); a step quadratic anywhere in the reading, the sort or
  // the walk costs a hundred times. Medians of walks taken in turns, so that
  // a moment of load weighs on neither size alone.
  std::vector<double> tenth, whole;
  for (int round = 0; round < 5; ++round) {
    for (auto [path, times] : {std::pair{Path("tenth"), &tenth}, std::pair{Path("big"), &whole}}) {
      const double start = ThreadSeconds();
      WalkFolder(path);
      times->push_back(ThreadSeconds() - start);
    }
  }
  auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
  };
  const double ratio = median(whole) / median(tenth);
  EXPECT_LT(ratio, 30.0) << "100 000 entries took " << median(whole) << " s, 10 000 took "
                         << median(tenth) << " s";
  RecordProperty("growth", std::to_string(ratio));
}

// ---------------------------------------------------------------------------
// Preferences folder

TEST_F(FolderItemTest, PreferencesFolderIsXdgConfigHomeAndIsMade) {
  const std::string config = Path("xdg/deep/config");
  config_->Set((config + "/").c_str());
  auto prefs = PreferencesFolder();
  ASSERT_TRUE(prefs);
  EXPECT_EQ(prefs->AbsolutePath().str(), config);
  EXPECT_TRUE(prefs->Directory());
  struct stat st {};
  ASSERT_EQ(::stat(config.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u) << "a new configuration folder is private";
}

TEST_F(FolderItemTest, PreferencesFolderFallsBackToHomeDotConfig) {
  // Unset, empty and relative XDG_CONFIG_HOME all mean "not set".
  const char* values[] = {nullptr, "", "relative/config"};
  for (const char* value : values) {
    SCOPED_TRACE(value ? value : "(unset)");
    fs::remove_all(homeDir_ + "/.config");
    config_->Set(value);
    auto prefs = PreferencesFolder();
    ASSERT_TRUE(prefs);
    EXPECT_EQ(prefs->AbsolutePath().str(), homeDir_ + "/.config");
    EXPECT_TRUE(fs::is_directory(homeDir_ + "/.config"));
  }
}

TEST_F(FolderItemTest, PreferencesFolderIsNilWithoutHomeOrXdg) {
  config_->Set(nullptr);
  for (const char* home : {static_cast<const char*>(nullptr), "", "relative"}) {
    SCOPED_TRACE(home ? home : "(unset)");
    home_->Set(home);
    EXPECT_FALSE(PreferencesFolder());
  }
}

TEST_F(FolderItemTest, PreferencesFolderThatCannotBeMadeIsStillNamed) {
  WriteBytes(Path("blocker"), "a file where a folder would go");
  config_->Set(Path("blocker/config").c_str());
  auto prefs = PreferencesFolder();
  ASSERT_TRUE(prefs);
  EXPECT_EQ(prefs->AbsolutePath().str(), Path("blocker/config"));
  EXPECT_FALSE(prefs->Exists());
}

// ---------------------------------------------------------------------------
// Reading text

TEST_F(FolderItemTest, ReadLineSplitsAtEveryKindOfLineEnd) {
  struct Case {
    const char* label;
    std::string content;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"lf", "a\nb\n", {"a", "b"}},
      {"crlf", "a\r\nb\r\n", {"a", "b"}},
      {"cr", "a\rb\r", {"a", "b"}},
      {"no last terminator", "a\nb", {"a", "b"}},
      {"cr at the very end", "a\r", {"a"}},
      {"empty file", "", {}},
      {"one empty line", "\n", {""}},
      {"empty lines", "\n\r\n\r", {"", "", ""}},
      {"cr cr lf", "a\r\r\nb", {"a", "", "b"}},
      {"lf cr", "a\n\rb", {"a", "", "b"}},
      {"mixed", "one\r\ntwo\nthree\rfour", {"one", "two", "three", "four"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    WriteBytes(Path("text"), c.content);
    auto in = FolderItem::FromPath(Path("text"))->OpenAsTextFile();
    ASSERT_TRUE(in);
    EXPECT_EQ(Lines(in), c.lines);
    EXPECT_TRUE(in->EndOfFile());
    EXPECT_EQ(in->ReadLine().str(), "");
  }
}

// Reads are buffered; a "\r\n" cut by a buffer's end is still one line end.
TEST_F(FolderItemTest, CrLfAcrossAReadBoundaryIsOneLineEnd) {
  for (std::size_t length : {4094u, 4095u, 4096u, 8191u, 16383u, 65534u, 65535u, 65536u,
                             131071u}) {
    SCOPED_TRACE(length);
    const std::string first(length, 'x');
    WriteBytes(Path("text"), first + "\r\nsecond\r\n");
    auto in = FolderItem::FromPath(Path("text"))->OpenAsTextFile();
    ASSERT_TRUE(in);
    const auto lines = Lines(in);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], first);
    EXPECT_EQ(lines[1], "second");
  }
}

TEST_F(FolderItemTest, BytesPassThroughUnchanged) {
  std::string binary;
  for (int b = 0; b < 256; ++b) {
    if (b != '\n' && b != '\r') binary += static_cast<char>(b);
  }
  const std::string invalid = "\xC3\x28 \xFF\xFE \xE3\x81 \xED\xA0\x80";
  WriteBytes(Path("bin"), binary + "\n" + invalid + "\n" + std::string("\0\0", 2));
  auto in = FolderItem::FromPath(Path("bin"))->OpenAsTextFile();
  ASSERT_TRUE(in);
  EXPECT_EQ(Lines(in), (std::vector<std::string>{binary, invalid, std::string("\0\0", 2)}));
}

TEST_F(FolderItemTest, AFiveMegabyteLineReadsWhole) {
  std::string line(5 << 20, 'q');
  line[12345] = '\0';
  WriteBytes(Path("long"), line + "\nafter");
  auto in = FolderItem::FromPath(Path("long"))->OpenAsTextFile();
  ASSERT_TRUE(in);
  EXPECT_EQ(in->ReadLine().str(), line);
  EXPECT_EQ(in->ReadLine().str(), "after");
  EXPECT_TRUE(in->EndOfFile());
}

// The palette reads the first lines of a script; a huge file behind them
// must not be loaded.
TEST_F(FolderItemTest, ReadingTheFirstLinesOfAHugeFileLoadsOnlyThose) {
  const std::string path = Path("huge");
  WriteBytes(path, "1\n2\n3\n4\n5\n");
  if (::truncate(path.c_str(), off_t{3} << 30) != 0) GTEST_SKIP() << "no sparse 3 GB file here";
  rusage before {};
  ::getrusage(RUSAGE_SELF, &before);
  auto in = FolderItem::FromPath(path)->OpenAsTextFile();
  ASSERT_TRUE(in);
  for (const char* expected : {"1", "2", "3", "4", "5"}) EXPECT_EQ(in->ReadLine().str(), expected);
  EXPECT_FALSE(in->EndOfFile());
  in->Close();
  rusage after {};
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes more at peak";
}

TEST_F(FolderItemTest, OpenAsTextFileIsNilForWhatCannotBeRead) {
  fs::create_directory(Path("folder"));
  ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0644), 0);
  for (const char* name : {"missing", "folder", "pipe"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(FolderItem::FromPath(Path(name))->OpenAsTextFile());
  }
  testsupport::OrdinaryPermissions user;
  ASSERT_TRUE(testsupport::OrdinaryPermissions::Deny(Path("probe"))) << kCannotDeny;
  WriteBytes(Path("secret"), "x\n");
  ::chmod(Path("secret").c_str(), 0);
  EXPECT_FALSE(FolderItem::FromPath(Path("secret"))->OpenAsTextFile());
}

TEST_F(FolderItemTest, CloseEndsTheStreamAndMayBeRepeated) {
  WriteBytes(Path("text"), "a\nb\n");
  auto in = FolderItem::FromPath(Path("text"))->OpenAsTextFile();
  ASSERT_TRUE(in);
  EXPECT_EQ(in->ReadLine().str(), "a");
  in->Close();
  in->Close();
  EXPECT_TRUE(in->EndOfFile());
  EXPECT_EQ(in->ReadLine().str(), "");
}

// ---------------------------------------------------------------------------
// Writing text

TEST_F(FolderItemTest, CreateTextFileWritesLinesAndReplacesOnClose) {
  WriteBytes(Path("prefs"), "old content\n");
  auto item = FolderItem::FromPath(Path("prefs"));
  auto out = item->CreateTextFile();
  ASSERT_TRUE(out);
  out->WriteLine("first");
  out->WriteLine("");
  out->WriteLine("パレット \xFF");
  EXPECT_EQ(ReadBytes(Path("prefs")), "old content\n") << "replaced before Close";
  EXPECT_TRUE(out->Close());
  EXPECT_EQ(ReadBytes(Path("prefs")), "first\n\nパレット \xFF\n");
  EXPECT_TRUE(out->Close());  // again: the same answer, nothing more happens
  out->WriteLine("too late");
  EXPECT_EQ(ReadBytes(Path("prefs")), "first\n\nパレット \xFF\n");
  EXPECT_EQ(Names(*Root()), std::vector<std::string>{"prefs"});
}

TEST_F(FolderItemTest, CreateTextFileIsNilWithoutItsFolder) {
  WriteBytes(Path("plain"), "x");
  fs::create_directory(Path("folder"));
  for (const char* name : {"missing/prefs", "plain/prefs", "folder"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(FolderItem::FromPath(Path(name))->CreateTextFile());
  }
}

TEST_F(FolderItemTest, DroppingTheStreamWithoutCloseKeepsTheOldFile) {
  WriteBytes(Path("prefs"), "old content\n");
  {
    auto out = FolderItem::FromPath(Path("prefs"))->CreateTextFile();
    ASSERT_TRUE(out);
    out->WriteLine("half written");
  }
  EXPECT_EQ(ReadBytes(Path("prefs")), "old content\n");
  EXPECT_EQ(Names(*Root()), std::vector<std::string>{"prefs"}) << "no temporary file left";

  // And a file that did not exist yet is not made.
  { FolderItem::FromPath(Path("new"))->CreateTextFile()->WriteLine("x"); }
  EXPECT_FALSE(fs::exists(Path("new")));
}

TEST_F(FolderItemTest, CloseFailsAndKeepsTheOldFileWhenTheFolderTurnsReadOnly) {
  testsupport::OrdinaryPermissions user;
  ASSERT_TRUE(testsupport::OrdinaryPermissions::Deny(Path("probe"))) << kCannotDeny;
  fs::create_directory(Path("folder"));
  WriteBytes(Path("folder/prefs"), "old content\n");
  auto out = FolderItem::FromPath(Path("folder/prefs"))->CreateTextFile();
  ASSERT_TRUE(out);
  out->WriteLine("new content");
  ASSERT_EQ(::chmod(Path("folder").c_str(), 0555), 0);
  EXPECT_FALSE(out->Close());
  ::chmod(Path("folder").c_str(), 0755);
  EXPECT_EQ(ReadBytes(Path("folder/prefs")), "old content\n");
}

// A stream over the file with a line written, the file itself gone, so that
// something else can take its place before Close.
Ref<TextOutputStream> StreamOverAFileThenRemoved(const std::string& path) {
  WriteBytes(path, "old content\n");
  auto out = FolderItem::FromPath(path)->CreateTextFile();
  if (out) out->WriteLine("new content");
  fs::remove(path);
  return out;
}

TEST_F(FolderItemTest, CloseFailsWhenTheTargetBecomesAFolder) {
  auto out = StreamOverAFileThenRemoved(Path("prefs"));
  ASSERT_TRUE(out);
  fs::create_directory(Path("prefs"));
  WriteBytes(Path("prefs/keep"), "kept\n");
  EXPECT_FALSE(out->Close());
  EXPECT_EQ(ReadBytes(Path("prefs/keep")), "kept\n");
  EXPECT_EQ(Names(*Root()), std::vector<std::string>{"prefs"}) << "no temporary file left";
}

// A pipe put in the file's place after the stream was made is neither
// replaced nor written to; a reader holds it open, so a writer would not block.
TEST_F(FolderItemTest, CloseFailsWhenAPipeTakesTheFilesPlace) {
  auto out = StreamOverAFileThenRemoved(Path("prefs"));
  ASSERT_TRUE(out);
  ASSERT_EQ(::mkfifo(Path("prefs").c_str(), 0600), 0);
  const int reader = ::open(Path("prefs").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  EXPECT_FALSE(out->Close());
  struct stat st {};
  ASSERT_EQ(::lstat(Path("prefs").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  char byte;
  EXPECT_LE(::read(reader, &byte, 1), 0);
  ::close(reader);
  EXPECT_EQ(Names(*Root()), std::vector<std::string>{"prefs"}) << "no temporary file left";
}

// Names are bytes: one that is not UTF-8 is written under that very name.
TEST_F(FolderItemTest, CreateTextFileWritesANameThatIsNotUtf8) {
  const std::string name = "pr\xFF\xFE" "efs";
  auto out = FolderItem::FromPath(Path(name))->CreateTextFile();
  ASSERT_TRUE(out);
  out->WriteLine("content");
  EXPECT_TRUE(out->Close());
  EXPECT_EQ(Names(*Root()), std::vector<std::string>{name});
  EXPECT_EQ(ReadBytes(Path(name)), "content\n");
}

// ---------------------------------------------------------------------------
// Mac types

class MacTypeTest : public FolderItemTest {
 protected:
  void SetUp() override {
    FolderItemTest::SetUp();
    WriteBytes(Path("probe"), "");
    const char probe[4] = {'t', 'e', 's', 't'};
    if (::setxattr(Path("probe").c_str(), "user.tessaline.probe", probe, sizeof probe, 0) != 0) {
      GTEST_SKIP() << "no user extended attributes on this file system: " << std::strerror(errno);
    }
  }

  std::string FinderInfo(const std::string& path) {
    char buffer[64];
    const ssize_t n = ::getxattr(path.c_str(), "user.com.apple.FinderInfo", buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
  }
};

TEST_F(MacTypeTest, TypeSetAfterCreateTextFileLandsWithTheContent) {
  auto item = FolderItem::FromPath(Path("prefs"));
  auto out = item->CreateTextFile();
  ASSERT_TRUE(out);
  item->SetMacType("TEXT");  // after the stream was made, before its writes
  out->WriteLine("content");
  ASSERT_TRUE(out->Close());
  EXPECT_EQ(FinderInfo(Path("prefs")), "TEXT" + std::string(28, '\0'));
  EXPECT_EQ(FolderItem::FromPath(Path("prefs"))->MacType().str(), "TEXT");
  EXPECT_EQ(ReadBytes(Path("prefs")), "content\n");
}

TEST_F(MacTypeTest, SetMacTypeMarksAnExistingFileAtOnce) {
  WriteBytes(Path("script.jsx"), "x");
  FolderItem::FromPath(Path("script.jsx"))->SetMacType("JSX");
  // Four bytes, blank-padded as the classic system kept short types.
  EXPECT_EQ(FinderInfo(Path("script.jsx")), "JSX " + std::string(28, '\0'));
  EXPECT_EQ(FolderItem::FromPath(Path("script.jsx"))->MacType().str(), "JSX ");
  EXPECT_EQ(FolderItem::FromPath(Path("probe"))->MacType().str(), "");
  EXPECT_EQ(FolderItem::FromPath(Path("missing"))->MacType().str(), "");
}

TEST_F(MacTypeTest, RewritingATypedFileKeepsItsType) {
  WriteBytes(Path("prefs"), "old\n");
  FolderItem::FromPath(Path("prefs"))->SetMacType("TEXT");
  auto out = FolderItem::FromPath(Path("prefs"))->CreateTextFile();
  ASSERT_TRUE(out);
  out->WriteLine("new");
  ASSERT_TRUE(out->Close());
  EXPECT_EQ(ReadBytes(Path("prefs")), "new\n");
  EXPECT_EQ(FolderItem::FromPath(Path("prefs"))->MacType().str(), "TEXT");
}

// ---------------------------------------------------------------------------
// Launch

class LaunchTest : public FolderItemTest {
 protected:
  void SetUp() override {
    FolderItemTest::SetUp();
    fs::create_directory(Path("bin"));
    record_ = Path("opened");
    // A stand-in for xdg-open that records the arguments it was given.
    MakeExecutable(Path("bin/xdg-open"),
                   "#!/bin/sh\nfor a in \"$@\"; do printf 'ARG:%s\\n' \"$a\"; done >> '" + record_ +
                       "'\n");
    path_.emplace("PATH", (Path("bin") + ":/usr/bin:/bin").c_str());
  }
  void TearDown() override {
    path_.reset();
    FolderItemTest::TearDown();
  }
  std::string record_;
  std::optional<ScopedEnv> path_;
};

TEST_F(LaunchTest, AnExecutableIsStartedDirectly) {
  fs::create_directory(Path("it's a \"folder\"; echo"));
  const std::string program = Path("it's a \"folder\"; echo/run me");
  MakeExecutable(program, "#!/bin/sh\nprintf 'ran with %s args' \"$#\" > '" + Path("marker") + "'\n");
  FolderItem::FromPath(program)->Launch(true);
  ASSERT_TRUE(WaitFor(Path("marker")));
  EXPECT_EQ(ReadBytes(Path("marker")), "ran with 0 args");
  EXPECT_FALSE(fs::exists(record_)) << "xdg-open was asked too";
}

TEST_F(LaunchTest, EverythingElseGoesToXdgOpenAsOneArgument) {
  const std::string document = Path("a doc; $(touch pwned) 'q'.txt");
  MakeExecutable(document, "#!/bin/sh\ntouch '" + Path("ran") + "'\n");
  ::chmod(document.c_str(), 0644);  // a script without the execute bit is a document
  fs::create_directory(Path("an app folder"));
  ::chmod(Path("an app folder").c_str(), 0755);

  FolderItem::FromPath(Path("missing"))->Launch(true);  // nothing there: nothing opened
  FolderItem::FromPath(document)->Launch(false);
  ASSERT_TRUE(WaitFor(record_));
  FolderItem::FromPath(Path("an app folder"))->Launch(true);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string record;
  while (std::chrono::steady_clock::now() < deadline) {
    record = ReadBytes(record_);
    if (std::count(record.begin(), record.end(), '\n') >= 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(record, "ARG:" + document + "\nARG:" + Path("an app folder") + "\n");
  EXPECT_FALSE(fs::exists(Path("ran")));
  EXPECT_FALSE(fs::exists(Path("pwned")));
}

// Whether every child of this process has ended, each one reaped. As a child
// subreaper it is also handed whatever a launch detached, so a launch that
// started anything is seen to end, however slow it is.
bool EveryAdoptedChildEnded(std::chrono::seconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const pid_t pid = ::waitpid(-1, nullptr, WNOHANG);
    if (pid < 0 && errno == ECHILD) return true;
    if (pid > 0 || (pid < 0 && errno == EINTR)) continue;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST_F(LaunchTest, WithoutXdgOpenNothingHappens) {
  fs::remove(Path("bin/xdg-open"));
  path_->Set(Path("bin").c_str());  // so a real xdg-open is not found either
  WriteBytes(Path("doc.txt"), "x");
  ASSERT_TRUE(EveryAdoptedChildEnded());
  ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  FolderItem::FromPath(Path("doc.txt"))->Launch(true);
  const bool ended = EveryAdoptedChildEnded();
  ::prctl(PR_SET_CHILD_SUBREAPER, 0);
  EXPECT_TRUE(ended);
  EXPECT_FALSE(fs::exists(record_));
}

}  // namespace
}  // namespace platform
