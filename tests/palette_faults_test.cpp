// The palette against a host, folders and a preferences folder that fail
// it: it keeps running, shows what it shows anyway, and loses no
// preference that was saved before.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime.h"
#include "tests/support/palette_fixture.h"
#include "tests/support/permissions.h"
#include "tests/support/processes.h"

namespace {

using testsupport::OrdinaryPermissions;
using testsupport::PaletteTest;
using testsupport::ScopedEnv;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

constexpr const char* kListingFailed = "スクリプトファイルが読み込めませんでした。";
constexpr const char* kCS4 = "/Applications/Adobe Illustrator CS4/Presets.localized/Scripts.localized";
// Host scripts are cut off after this.
constexpr const char* kScriptLimitMs = "400";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string FiveLines(int32_t l, int32_t t, int32_t w, int32_t h, const std::string& folder) {
  return std::to_string(l) + "\n" + std::to_string(t) + "\n" + std::to_string(w) + "\n" +
         std::to_string(h) + "\n" + folder + "\n";
}

constexpr const char* kCannotDeny =
    "folder permissions deny nothing here (root whose capabilities could not be lowered), "
    "so no unreadable or read-only folder can be made";

// Every palette a test opened is closed at the end, so that nothing of it
// outlives the test.
class FaultTest : public PaletteTest {
 protected:
  ~FaultTest() override {
    if (window && window->IsOpen()) CloseWindow();
  }
};

// ---------------------------------------------------------------------------
// The host: real host scripts, run by the process runner from a resources
// folder of the test's own.

struct HostFault {
  const char* name;
  // The sh body every host script gets after it has noted its call and its
  // pid; it notes the pids of what it starts in "$PIDS". Empty with
  // `scripts` false: no scripts at all.
  std::string body;
  bool scripts = true;
  bool resourcesFolder = true;
};

void PrintTo(const HostFault& f, std::ostream* os) { *os << f.name; }

class HostScriptsTest : public FaultTest {
 protected:
  HostScriptsTest()
      : resources_(Home() / "resources"),
        resourcesEnv_("TESSALINE_RESOURCES", resources_.string()),
        limitEnv_("TESSALINE_SCRIPT_TIMEOUT_MS", kScriptLimitMs) {
    fs::create_directories(resources_ / "scripts");
    // The fake host keeps answering the activate event; the scripts run for
    // real.
    platform::SetScriptRunner(nullptr);
  }

  void WriteHostScripts(const std::string& body) {
    for (int id = 168; id <= 172; ++id) {
      const fs::path script = resources_ / "scripts" / std::to_string(id);
      std::ofstream(script) << "#!/bin/sh\nprintf '%s|%s\\n' \"${0##*/}\" \"$*\" >> '"
                            << CallLog().string() << "'\nPIDS='" << PidLog().string()
                            << "'\nprintf '%s\\n' $$ >> \"$PIDS\"\n"
                            << body << "\n";
      fs::permissions(script, fs::perms(0755));
    }
  }
  fs::path CallLog() const { return Home() / "host-calls"; }
  fs::path PidLog() const { return Home() / "host-pids"; }

  fs::path resources_;
  ScopedEnv resourcesEnv_, limitEnv_;
};

class HostFaultTest : public HostScriptsTest, public ::testing::WithParamInterface<HostFault> {};

// Every road to the host once: opening, a tick, a compiled script and a
// JavaScript file, the folder button, and a message. The hanging scripts
// never end by themselves, so a step that fails to kill one hangs the test.
TEST_P(HostFaultTest, PaletteGoesOnPastEveryHostCall) {
  const HostFault& fault = GetParam();
  if (fault.scripts) WriteHostScripts(fault.body);
  std::optional<ScopedEnv> noResources;
  if (!fault.resourcesFolder) noResources.emplace("TESSALINE_RESOURCES", (Home() / "gone").string());

  const fs::path folder = MakeFolder("scripts", {"a.scpt", "b.jsx", "Tools/c.js"});
  const fs::path empty = MakeFolder("empty", {});
  const std::string saved = FiveLines(30, 40, 180, 220, folder.string());
  WritePrefs(saved);

  Start();
  ASSERT_TRUE(window->IsOpen());
  EXPECT_EQ(window->gAiver.str(), "");  // no host answered a version
  EXPECT_EQ(window->Bounds(), (platform::Rect{30, 40, 180, 220}));
  EXPECT_EQ(Shown(), (Names{"a.scpt", "b.jsx", "Tools"}));

  display.AdvanceClock(1000);
  EXPECT_FALSE(window->Visible()) << "no front application named: hidden";

  DoubleClick(0);  // a.scpt
  DoubleClick(1);  // b.jsx
  EXPECT_TRUE(display.Messages().empty());

  display.AnswerFolder(empty.string());
  window->BevelButton1()->Push();
  EXPECT_EQ(display.Messages(), (Names{kListingFailed}));
  EXPECT_EQ(Shown(), Names{});
  EXPECT_FALSE(HasUnhandled());

  CloseWindow();
  EXPECT_TRUE(platform::Quitting());
  EXPECT_EQ(ReadPrefs(), FiveLines(30, 40, 180, 220, empty.string()));

  // Each script was asked, in the palette's order, and none was asked
  // twice: a script that failed is not tried again behind the user's back.
  const std::string calls = ReadText(CallLog());
  if (fault.scripts && fault.resourcesFolder) {
    EXPECT_EQ(calls, "168|\n169|\n171|" + (folder / "a.scpt").string() + "\n172|" +
                         (folder / "b.jsx").string() + "\n170|\n170|\n");
  } else {
    EXPECT_EQ(calls, "");
  }
  // Every script, and whatever it started, was killed or ended, and was
  // reaped.
  const std::vector<pid_t> pids = testsupport::PidsIn(PidLog());
  if (fault.scripts && fault.resourcesFolder) {
    EXPECT_GE(pids.size(), 6u);
  }
  for (const pid_t pid : pids) EXPECT_TRUE(testsupport::Gone(pid)) << pid << " is still there";
}

// Waits on a sleep of its own that never ends.
const std::string kHang =
    std::string(testsupport::kSleepForEver) + " &\nprintf '%s\\n' $! >> \"$PIDS\"\nwait";

INSTANTIATE_TEST_SUITE_P(
    Hosts, HostFaultTest,
    ::testing::Values(HostFault{"Hangs", kHang},
                      HostFault{"HangsWithItsOutputClosed", "exec >&-\n" + kHang},
                      HostFault{"FloodsItsOutputWithoutEnd", "exec yes Illustrator"},
                      HostFault{"ExitsAtOnce", "exit 0"},
                      HostFault{"FailsAtOnceAfterAnswering", "printf Illustrator\nexit 3"},
                      HostFault{"KilledAtOnce", "printf Illustrator\nkill -9 $$"},
                      HostFault{"NoScripts", "", false},
                      HostFault{"NoResourcesFolder", "", true, false}),
    [](const ::testing::TestParamInfo<HostFault>& info) { return std::string(info.param.name); });

TEST_F(HostScriptsTest, NamesThatAreNoUtf8ReachTheHostByteForByte) {
  // Linux names are bytes; the host must be handed the file that is there.
  WriteHostScripts("exit 0");
  const std::string js = "caf\xE9.jsx", compiled = "\xFF\xFE.scpt";
  const fs::path folder = MakeFolder("scripts \xE9", {js, "Sub/" + compiled});
  WritePrefs(FiveLines(10, 20, 150, 200, folder.string()));
  Start();
  ASSERT_EQ(Shown(), (Names{js, "Sub"}));
  DoubleClick(0);
  DoubleClick(1);
  DoubleClick(2);
  EXPECT_EQ(ReadText(CallLog()), "168|\n172|" + (folder / js).string() + "\n171|" +
                                     (folder / "Sub" / compiled).string() + "\n");
  EXPECT_TRUE(display.Messages().empty());
}

TEST_F(HostScriptsTest, FloodedVersionIsCutAndStillPicksTheHostFolder) {
  // Megabytes of version text: the palette keeps a bounded piece of it,
  // finds the version in it and opens on that host's folder. The flood
  // ends by itself; the limit is only there to end the test on a hang.
  ScopedEnv limit("TESSALINE_SCRIPT_TIMEOUT_MS", "30000");
  WriteHostScripts("case \"${0##*/}\" in 168) yes 14.0.0 | head -c 5000000 ;; 169) printf Illustrator ;; esac");
  Start();
  EXPECT_LE(window->gAiver.LenB(), std::size_t{1} << 20);
  EXPECT_GT(window->gAiver.LenB(), 0u);
  ASSERT_TRUE(window->gMyScriptFolder);
  EXPECT_EQ(window->gMyScriptFolder->AbsolutePath().str(), BootVolume().string() + kCS4);
  display.AdvanceClock(1000);
  EXPECT_TRUE(window->Visible());
  CloseWindow();
  EXPECT_TRUE(platform::Quitting());
}

// ---------------------------------------------------------------------------
// The scripts folder

class FolderFaultTest : public FaultTest {
 protected:
  void OpenOn(const fs::path& folder) {
    WritePrefs(FiveLines(10, 20, 150, 200, folder.string()));
    Start();
  }
};

TEST_F(FolderFaultTest, UnreadableFoldersListNothingOfTheirs) {
  const fs::path locked = MakeFolder("locked", {"a.jsx", "Tools/b.scpt"});
  const fs::path partly = MakeFolder("partly", {"a.jsx", "Closed/b.scpt", "Open/c.js"});
  OrdinaryPermissions user;
  if (!OrdinaryPermissions::Deny(Home() / "probe")) GTEST_SKIP() << kCannotDeny;
  fs::permissions(locked, fs::perms::none);
  fs::permissions(partly / "Closed", fs::perms::none);

  // The scripts folder itself: nothing to list, the message, an empty list.
  OpenOn(locked);
  EXPECT_TRUE(window->IsOpen());
  EXPECT_EQ(display.Messages(), (Names{kListingFailed}));
  EXPECT_EQ(window->LB1()->ListCount(), 0);

  // A sub-folder: still a folder row, with nothing under it.
  display.ClearLog();
  window->gMyScriptFolder = platform::FolderItem::FromPath(partly.string());
  window->setLB1();
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{
                        {"a.jsx", ""}, {"Closed", ""}, {"Open", "c.js<>"}}));
  DoubleClick(1);
  DoubleClick(1);
  EXPECT_EQ(Shown(), (Names{"a.jsx", "Closed", "Open"}));
  EXPECT_TRUE(display.Messages().empty());
  EXPECT_FALSE(HasUnhandled());

  user.Restore();
  fs::permissions(locked, fs::perms::owner_all);
  fs::permissions(partly / "Closed", fs::perms::owner_all);
}

TEST_F(FolderFaultTest, ItemsThatVanishAfterTheListingAreStillHandedToTheHost) {
  // Nothing tests a file before it runs: the path goes to the host, which
  // meets the missing file itself; an application that is gone opens
  // nothing. Either way the palette says nothing and goes on.
  const fs::path folder = MakeFolder("scripts", {"a.scpt", "d.jsx", "Tools/b.jsx", "Tools/c.app"});
  OpenOn(folder);
  DoubleClick(2);  // Tools opens
  ASSERT_EQ(Shown(), (Names{"a.scpt", "d.jsx", "Tools", "b.jsx", "c.app"}));

  fs::remove(folder / "a.scpt");
  fs::remove_all(folder / "Tools");
  host.calls.clear();
  DoubleClick(0);
  DoubleClick(3);
  DoubleClick(4);
  EXPECT_EQ(host.calls, (Names{"goas " + (folder / "a.scpt").string(),
                               "gojs " + (folder / "Tools" / "b.jsx").string()}));

  // The whole scripts folder goes.
  fs::remove_all(folder);
  host.calls.clear();
  DoubleClick(1);
  EXPECT_EQ(host.calls, (Names{"gojs " + (folder / "d.jsx").string()}));
  EXPECT_TRUE(display.Messages().empty());
  EXPECT_FALSE(HasUnhandled());

  // It is still the saved folder; the next palette opens on it and lists
  // nothing.
  CloseWindow();
  EXPECT_EQ(ReadPrefs(), FiveLines(10, 20, 150, 200, folder.string()));
  palette::Finalize();
  platform::RuntimeShutdown();
  display.ClearLog();
  Start();
  EXPECT_TRUE(window->IsOpen());
  ASSERT_TRUE(window->gMyScriptFolder);
  EXPECT_EQ(window->gMyScriptFolder->AbsolutePath().str(), folder.string());
  EXPECT_EQ(display.Messages(), (Names{kListingFailed}));
}

TEST_F(FolderFaultTest, SymbolicLinkLoopsListOnceAndRunByName) {
  const fs::path folder = MakeFolder("scripts", {"z.jsx", "Tools/x.js"});
  fs::create_symlink("self.scpt", folder / "self.scpt");
  fs::create_symlink("b", folder / "a");
  fs::create_symlink("a", folder / "b");
  fs::create_symlink(".", folder / "up");            // the scripts folder itself
  fs::create_symlink("..", folder / "Tools" / "back");  // and again from below
  OpenOn(folder);

  // Loops are plain rows; a link back to the folder lists it once more, one
  // level deep, and no further.
  EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{
                        {"a", ""},
                        {"b", ""},
                        {"self.scpt", ""},
                        {"Tools", "back<>x.js<>"},
                        {"up", "a<>b<>self.scpt<>Tools<>up<>z.jsx<>"},
                        {"z.jsx", ""}}));
  DoubleClick(4);  // up
  DoubleClick(3);  // Tools
  EXPECT_EQ(window->LB1()->ListCount(), 14);

  host.calls.clear();
  DoubleClick(2);  // the looping self.scpt: run by its name, like any other
  DoubleClick(4);  // back, under Tools: no extension to run
  DoubleClick(9);  // self.scpt under up
  EXPECT_EQ(host.calls, (Names{"goas " + (folder / "self.scpt").string(),
                               "goas " + (folder / "up" / "self.scpt").string()}));
  EXPECT_TRUE(display.Messages().empty());
  EXPECT_FALSE(HasUnhandled());
}

TEST_F(FolderFaultTest, ScriptsFolderThatIsALoopListsNothing) {
  const fs::path loop = Home() / "loop";
  fs::create_symlink("loop", loop);
  OpenOn(loop);
  EXPECT_TRUE(window->IsOpen());
  EXPECT_EQ(display.Messages(), (Names{kListingFailed}));
  EXPECT_EQ(window->LB1()->ListCount(), 0);
  CloseWindow();
  EXPECT_EQ(ReadPrefs(), FiveLines(10, 20, 150, 200, loop.string()));
}

// ---------------------------------------------------------------------------
// The preferences folder

class PrefsFaultTest : public FaultTest {
 protected:
  std::vector<std::string> ConfigNames() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(ConfigDir())) names.push_back(e.path().filename());
    return names;
  }
  // The palette opened on a file saved before, then moved, so a save would
  // change the file.
  std::string OpenOnSavedFile() {
    const fs::path folder = MakeFolder("scripts", {"a.jsx"});
    const std::string saved = FiveLines(30, 40, 180, 220, folder.string());
    WritePrefs(saved);
    Start();
    window->SetLeft(300);
    return saved;
  }
};

TEST_F(PrefsFaultTest, ReadOnlyFolderKeepsTheSavedFileWhole) {
  const std::string saved = OpenOnSavedFile();
  OrdinaryPermissions user;
  if (!OrdinaryPermissions::Deny(Home() / "probe")) GTEST_SKIP() << kCannotDeny;
  fs::permissions(ConfigDir(), fs::perms(0555));
  CloseWindow();
  user.Restore();
  fs::permissions(ConfigDir(), fs::perms::owner_all);

  EXPECT_TRUE(platform::Quitting());
  EXPECT_FALSE(HasUnhandled());
  EXPECT_EQ(ReadPrefs(), saved);
  EXPECT_EQ(ConfigNames(), (Names{"velquor.pref"}));
}

TEST_F(PrefsFaultTest, FullDiskKeepsTheSavedFileWhole) {
  // No byte may be written (as on a full disk); this holds for root too.
  const std::string saved = OpenOnSavedFile();
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
  rlimit none = old;
  none.rlim_cur = 0;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
  CloseWindow();
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldSignal);

  EXPECT_TRUE(platform::Quitting());
  EXPECT_FALSE(HasUnhandled());
  EXPECT_EQ(ReadPrefs(), saved);
  EXPECT_EQ(ConfigNames(), (Names{"velquor.pref"}));
}

TEST_F(PrefsFaultTest, FolderRemovedWhileOpenIsNotMadeAgain) {
  OpenOnSavedFile();
  fs::remove_all(ConfigDir());
  CloseWindow();
  EXPECT_TRUE(platform::Quitting());
  EXPECT_FALSE(HasUnhandled());
  EXPECT_FALSE(fs::exists(ConfigDir()));
}

TEST_F(PrefsFaultTest, FolderThatCannotBeMadeStillOpensAndQuits) {
  // A file stands where the preferences folder would go.
  std::ofstream(Home() / "blocker") << "not a folder\n";
  ScopedEnv config("XDG_CONFIG_HOME", (Home() / "blocker" / "config").string());
  Start();
  EXPECT_TRUE(window->IsOpen());
  EXPECT_EQ(window->Width(), 150);
  EXPECT_EQ(window->Height(), 200);
  ASSERT_TRUE(window->gMyScriptFolder);  // the host's folder, from the table
  CloseWindow();
  EXPECT_TRUE(platform::Quitting());
  EXPECT_FALSE(HasUnhandled());
  EXPECT_EQ(ReadText(Home() / "blocker"), "not a folder\n");
}

}  // namespace
