// The process script runner and the Apple event sender against small
// scripts in a temporary resources folder, and the shipped stand-in host.
#include "platform/scriptrunner.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "platform/applevent.h"
#include "platform/process.h"
#include "platform/testing/keeper.h"
#include "platform/programname.h"
#include "platform/resourcesfolder.h"
#include "tests/support/processes.h"
#include "tests/support/stderr_capture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::Gone;
using testsupport::kSleepForEver;
using testsupport::PidsIn;
using testsupport::StderrCapture;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sets (or, with nullopt, unsets) a variable and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> old_;
};

// Every script and the Apple event get `limit` while it lives, as the
// palette's time-limit variable gives them.
class ScopedTimeLimit {
 public:
  explicit ScopedTimeLimit(std::chrono::milliseconds limit) {
    platform::SetScriptTimeLimits([limit](int32_t) { return limit; });
    platform::SetAppleEventTimeLimit(limit);
  }
  ~ScopedTimeLimit() {
    platform::SetScriptTimeLimits(nullptr);
    platform::SetAppleEventTimeLimit(platform::kDefaultRunLimit);
  }
  ScopedTimeLimit(const ScopedTimeLimit&) = delete;
  ScopedTimeLimit& operator=(const ScopedTimeLimit&) = delete;
};

class ScriptRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaline-runner-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ / "home");
    fs::create_directories(dir_ / "config");
    fs::create_directories(dir_ / "resources" / "scripts");
    env_.emplace_back(std::make_unique<ScopedEnv>("HOME", (dir_ / "home").string()));
    env_.emplace_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", (dir_ / "config").string()));
    platform::SetResourcesFolder((dir_ / "resources").string());
    platform::SetProgramName("tessaline");
  }
  void TearDown() override {
    platform::ResumeScripts();
    platform::SetResourcesFolder("");
    env_.clear();
    fs::remove_all(dir_);
  }

  // Writes resources/<name> with the given sh body.
  void WriteScript(const std::string& name, const std::string& body,
                   fs::perms perms = fs::perms(0755)) {
    const fs::path path = dir_ / "resources" / name;
    std::ofstream(path, std::ios::binary) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, perms);
  }
  void WriteScript(int32_t id, const std::string& body, fs::perms perms = fs::perms(0755)) {
    WriteScript("scripts/" + std::to_string(id), body, perms);
  }

  // A parameterised call: texts and integers in order.
  using Param = std::variant<std::string, int32_t>;
  std::string Call(int32_t id, const std::vector<Param>& params) {
    const int32_t handle = runner_.StartParamScript(id);
    for (const auto& param : params) {
      if (const auto* text = std::get_if<std::string>(&param)) {
        runner_.AddStringScriptParam(handle, platform::String(*text));
      } else {
        runner_.AddIntegerScriptParam(handle, std::get<int32_t>(param));
      }
    }
    return runner_.CompleteParamScriptFunction(handle).str();
  }

  fs::path dir_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  platform::ProcessScriptRunner runner_;
};

// Texts a script must receive as they are: nothing in them may be
// expanded, split or run.
std::vector<std::string> HostilePaths(const fs::path& dir) {
  return {
      "/Users/me/My Scripts/run  twice.scpt",
      "it's \"quoted\"",
      "$(touch " + (dir / "made-by-dollar").string() + ")",
      "`touch " + (dir / "made-by-backquote").string() + "`",
      "x; touch " + (dir / "made-by-semicolon").string(),
      "line one\nline two",
      "$HOME * ?",
      "",
      "-n",
      "caf\xC3\xA9 \xE4\xB8\xAD",
      // Linux names are bytes: these are no UTF-8, and must not become it.
      "/s/caf\xE9.jsx",
      "\xFF\xFE\x80 \xC3(",
  };
}

void ExpectNothingWasRun(const fs::path& dir) {
  for (const char* marker : {"made-by-dollar", "made-by-backquote", "made-by-semicolon"}) {
    EXPECT_FALSE(fs::exists(dir / marker)) << marker;
  }
}

TEST_F(ScriptRunnerTest, ParametersArriveIntactInOrderAndAreNeverEvaluated) {
  WriteScript(171, R"(for a in "$@"; do printf '<%s>' "$a"; done)");
  std::vector<Param> params;
  std::string expected;
  for (const auto& path : HostilePaths(dir_)) {
    params.emplace_back(path);
    expected += "<" + path + ">";
  }
  for (int32_t value : {-42, 0, 2147483647, INT32_MIN}) {
    params.emplace_back(value);
    expected += "<" + std::to_string(value) + ">";
  }
  EXPECT_EQ(Call(171, params), expected);
  ExpectNothingWasRun(dir_);
}

TEST_F(ScriptRunnerTest, OneTrailingNewlineIsRemoved) {
  const struct {
    const char* printed;
    std::string result;
  } cases[] = {
      {"a\\n", "a"},     {"a\\n\\n", "a\n"}, {"a", "a"},   {"a\\r\\n", "a\r"},
      {"\\n", ""},       {"x\\ny\\n", "x\ny"}, {"\\na", "\na"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printed);
    WriteScript(168, std::string("printf '") + c.printed + "'");
    EXPECT_EQ(runner_.ScriptFunction(168).str(), c.result);
  }
}

TEST_F(ScriptRunnerTest, ScriptThatCannotRunOrFailsGivesEmptyTextAndSaysWhyOnce) {
  ScopedTimeLimit limit(300ms);
  const fs::path path = dir_ / "resources" / "scripts" / "168";
  const struct {
    const char* name;
    std::optional<std::string> body;  // nothing: no script at all
    const char* reason;
    fs::perms perms = fs::perms(0755);
  } cases[] = {
      {"missing", std::nullopt, "missing"},
      {"not executable", "printf out", "not executable", fs::perms(0644)},
      {"exits 1 after output", "printf out; exit 1", "exit status 1"},
      {"exits 3", "exit 3", "exit status 3"},
      {"killed by a signal", "printf out; kill -9 $$", "killed by signal 9"},
      {"outlives its limit", "printf early; exec sleep 20", "killed at its limit of 300 ms"},
      {"interpreter missing", "#!/nonexistent/interpreter\nprintf out",
       "could not be started (No such file or directory)"},
      // The same reason as before, after others: it was said already.
      {"missing again", std::nullopt, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(path);
    if (c.body) {
      // The interpreter case writes its own first line.
      std::ofstream(path) << (c.body->starts_with("#!") ? "" : "#!/bin/sh\n") << *c.body << "\n";
      fs::permissions(path, c.perms);
    }
    StderrCapture capture(dir_ / "stderr");
    EXPECT_EQ(runner_.ScriptFunction(168).str(), "");
    EXPECT_EQ(Call(168, {std::string("p")}), "");
    runner_.ScriptExecute(168);
    // One line for the three runs.
    EXPECT_EQ(capture.Text(),
              c.reason ? "tessaline: host script " + path.string() + ": " + c.reason + "\n" : "");
  }
  // A folder of the script's name is no script either.
  fs::remove(path);
  fs::create_directory(path);
  StderrCapture capture(dir_ / "stderr");
  EXPECT_EQ(runner_.ScriptFunction(168).str(), "");
  EXPECT_EQ(capture.Text(), "tessaline: host script " + path.string() + ": not a file\n");
}

TEST_F(ScriptRunnerTest, EachScriptIsReportedOnItsOwn) {
  // The once-only memory is per script: 169 failing says nothing of 170.
  StderrCapture capture(dir_ / "stderr");
  for (int i = 0; i < 3; ++i) {
    for (int32_t id : {169, 170}) runner_.ScriptFunction(id);
  }
  const std::string scripts = (dir_ / "resources" / "scripts").string();
  EXPECT_EQ(capture.Text(), "tessaline: host script " + scripts + "/169: missing\n" +
                                "tessaline: host script " + scripts + "/170: missing\n");
}

TEST_F(ScriptRunnerTest, StandardErrorPassesThroughAndStaysOutOfTheResult) {
  WriteScript(169, "printf out; printf 'to stderr\\n' >&2");
  StderrCapture capture(dir_ / "stderr");
  const std::string result = runner_.ScriptFunction(169).str();
  const std::string err = capture.Text();
  EXPECT_EQ(result, "out");
  EXPECT_EQ(err, "to stderr\n");
}

TEST_F(ScriptRunnerTest, ScriptPastItsLimitIsKilledWithWhatItStarted) {
  // Neither the script nor its sleep ever ends by itself: a runner that
  // does not kill them at the limit hangs here.
  ScopedTimeLimit limit(300ms);
  const fs::path pids = dir_ / "pids";
  WriteScript(169, "printf early; printf '%s\\n' $$ > '" + pids.string() + "'; " +
                       kSleepForEver + " & printf '%s\\n' $! >> '" + pids.string() + "'; wait");

  EXPECT_EQ(runner_.ScriptFunction(169).str(), "");

  // The script itself was reaped: no zombie child is left to us.
  int status = 0;
  EXPECT_LE(::waitpid(-1, &status, WNOHANG), 0);
  // The sleep it started went with it.
  const std::vector<pid_t> started = PidsIn(pids);
  ASSERT_EQ(started.size(), 2u);
  for (const pid_t pid : started) EXPECT_TRUE(Gone(pid)) << pid << " is still there";
}

TEST_F(ScriptRunnerTest, StoppedScriptIsKilledWithWhatItStartedAndNoneStartsAfter) {
  // Well within its limit the script would answer "late": only the stop
  // can make its reply empty.
  ScopedTimeLimit limit(60000ms);
  const fs::path pidFile = dir_ / "sleeper.pid", started = dir_ / "started";
  WriteScript(168, "sleep 20 & printf '%s' $! > '" + pidFile.string() + "'; : > '" +
                       started.string() + "'; wait; printf late");
  // As a quit signal's handler would, while the runner waits on the script.
  std::thread quitSignal([&] {
    for (int i = 0; i < 1000 && !fs::exists(started); ++i) std::this_thread::sleep_for(10ms);
    platform::StopScripts();
  });
  EXPECT_EQ(runner_.ScriptFunction(168).str(), "");
  quitSignal.join();
  const std::string pid = ReadFile(pidFile);
  ASSERT_FALSE(pid.empty());
  EXPECT_TRUE(Gone(std::stoi(pid))) << "sleep " << pid << " is still there";

  const fs::path ran = dir_ / "ran";
  WriteScript(169, ": > '" + ran.string() + "'; printf front");
  WriteScript("appleevent", ": > '" + ran.string() + "'");
  EXPECT_EQ(runner_.ScriptFunction(169).str(), "");
  EXPECT_FALSE(platform::NewAppleEvent("misc", "actv", "ART5")->Send());
  EXPECT_FALSE(fs::exists(ran));

  platform::ResumeScripts();
  EXPECT_EQ(runner_.ScriptFunction(169).str(), "front");
}

// No process holds `pid` now, not even a zombie: a run must not return
// before what it ended is gone. One left is killed, so that a failing test
// leaves nothing behind.
bool EndedAlready(pid_t pid) {
  if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
  Gone(pid);
  return false;
}

TEST_F(ScriptRunnerTest, DescendantsThatLeftTheGroupEndAtALimitAndAtAQuit) {
  const fs::path scriptPid = dir_ / "script.pid", escapedPid = dir_ / "escaped.pid",
                 ready = dir_ / "ready";
  const std::string sleeper = "sh -c 'printf %s $$ > " + escapedPid.string() + "; exec " +
                              kSleepForEver + "'";
  const struct {
    const char* name;
    std::string start;
  } escapes[] = {
      {"a session of its own", "setsid " + sleeper + " &"},
      // Its parent ends at once: an orphan in a session of its own.
      {"a double fork into a session of its own", "(setsid " + sleeper + " &)"},
  };
  for (const bool quit : {false, true}) {
    for (const auto& e : escapes) {
      SCOPED_TRACE(std::string(e.name) + (quit ? ", at a quit" : ", at the limit"));
      fs::remove(scriptPid);
      fs::remove(escapedPid);
      fs::remove(ready);
      WriteScript(169, "printf '%s' $$ > '" + scriptPid.string() + "'; " + e.start +
                           "\nwhile [ ! -s '" + escapedPid.string() + "' ]; do sleep 0.01; done; : > '" +
                           ready.string() + "'; exec " + kSleepForEver);
      ScopedTimeLimit limit(quit ? 60000ms : 1000ms);
      std::thread quitSignal;
      if (quit) {
        quitSignal = std::thread([&] {
          for (int i = 0; i < 1000 && !fs::exists(ready); ++i) std::this_thread::sleep_for(10ms);
          platform::StopScripts();
        });
      }
      EXPECT_EQ(runner_.ScriptFunction(169).str(), "");
      if (quitSignal.joinable()) quitSignal.join();
      platform::ResumeScripts();

      ASSERT_TRUE(fs::exists(ready)) << "the script was not ready in time";
      for (const fs::path& file : {scriptPid, escapedPid}) {
        const std::vector<pid_t> pids = PidsIn(file);
        ASSERT_EQ(pids.size(), 1u) << file;
        EXPECT_TRUE(EndedAlready(pids[0])) << file.filename() << " " << pids[0] << " is still there";
      }
    }
  }
}

TEST_F(ScriptRunnerTest, ApplicationStartedByThePaletteOutlivesALimitAndAQuit) {
  const fs::path appPid = dir_ / "app.pid", ready = dir_ / "ready";
  WriteScript("app", "printf '%s' $$ > '" + appPid.string() + "'; exec " + kSleepForEver);
  platform::StartDetached((dir_ / "resources" / "app").string(), {});
  for (int i = 0; i < 1000 && PidsIn(appPid).empty(); ++i) std::this_thread::sleep_for(10ms);
  const std::vector<pid_t> app = PidsIn(appPid);
  ASSERT_EQ(app.size(), 1u);

  {
    ScopedTimeLimit limit(300ms);
    WriteScript(169, std::string("exec ") + kSleepForEver);
    EXPECT_EQ(runner_.ScriptFunction(169).str(), "");
  }
  WriteScript(168, ": > '" + ready.string() + "'; exec " + kSleepForEver);
  std::thread quitSignal([&] {
    for (int i = 0; i < 1000 && !fs::exists(ready); ++i) std::this_thread::sleep_for(10ms);
    platform::StopScripts();
  });
  EXPECT_EQ(runner_.ScriptFunction(168).str(), "");
  quitSignal.join();

  EXPECT_TRUE(testsupport::Running(app[0]));
  ::kill(app[0], SIGKILL);
  EXPECT_TRUE(Gone(app[0]));
}

// What the runner's seam saw just before it reaped a keeper.
struct AtTheReap {
  int reaps = 0;
  int registered = -1;     // the keeper a quit would have signalled
  bool unreaped = false;   // the keeper was still ours to reap
};
AtTheReap atTheReap;

void SeeTheReap(int keeper) {
  ++atTheReap.reaps;
  atTheReap.registered = platform::seam::RegisteredKeeper();
  siginfo_t info{};
  atTheReap.unreaped =
      ::waitid(P_PID, static_cast<id_t>(keeper), &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

TEST_F(ScriptRunnerTest, RunIsLetGoBeforeItsKeeperIsReaped) {
  // A quit signal after the reap would signal a number that may be
  // another's by then.
  ScopedTimeLimit limit(300ms);
  const fs::path ready = dir_ / "ready";
  const struct {
    const char* name;
    std::string body;
    bool quit;
  } runs[] = {
      {"answers", "printf x", false},
      {"fails", "exit 3", false},
      {"past its limit", std::string("exec ") + kSleepForEver, false},
      {"stopped", ": > '" + ready.string() + "'; exec " + kSleepForEver, true},
  };
  platform::seam::SetBeforeReap(SeeTheReap);
  for (const auto& run : runs) {
    SCOPED_TRACE(run.name);
    atTheReap = {};
    fs::remove(ready);
    WriteScript(170, run.body);
    int registeredWhileRunning = 0;
    std::thread quitSignal;
    if (run.quit) {
      quitSignal = std::thread([&] {
        for (int i = 0; i < 1000 && !fs::exists(ready); ++i) std::this_thread::sleep_for(10ms);
        registeredWhileRunning = platform::seam::RegisteredKeeper();
        platform::StopScripts();
      });
    }
    runner_.ScriptFunction(170);
    if (quitSignal.joinable()) quitSignal.join();
    platform::ResumeScripts();
    EXPECT_EQ(atTheReap.reaps, 1);
    EXPECT_EQ(atTheReap.registered, 0);
    EXPECT_TRUE(atTheReap.unreaped);
    if (run.quit) {
      EXPECT_GT(registeredWhileRunning, 0);
    }
  }
  platform::seam::SetBeforeReap(nullptr);
}

TEST_F(ScriptRunnerTest, AppleEventSenderThatCannotRunOrIsKilledSaysWhyOnce) {
  ScopedTimeLimit limit(300ms);
  const fs::path sender = dir_ / "resources" / "appleevent";
  auto event = platform::NewAppleEvent("misc", "actv", "ART5");
  // Each setup, and the one line it gives for two sends (none: nothing to say).
  const std::pair<std::function<void()>, std::string> setups[] = {
      {[] {}, "missing"},
      {[&] { WriteScript("appleevent", "exit 0", fs::perms(0644)); }, "not executable"},
      {[&] { fs::create_directory(sender); }, "not a file"},
      {[&] {
         std::ofstream(sender) << "#!/nonexistent/interpreter\n";
         fs::permissions(sender, fs::perms(0755));
       },
       "could not be started (No such file or directory)"},
      {[&] { WriteScript("appleevent", "kill -9 $$"); }, "killed by signal 9"},
      {[&] { WriteScript("appleevent", std::string("exec ") + kSleepForEver); },
       "killed at its limit of 300 ms"},
      // "Not delivered" is its answer, not a fault.
      {[&] { WriteScript("appleevent", "exit 1"); }, ""},
      // Said before.
      {[] {}, ""},
  };
  for (const auto& [setup, reason] : setups) {
    SCOPED_TRACE(reason);
    fs::remove_all(sender);
    setup();
    StderrCapture capture(dir_ / "stderr");
    EXPECT_FALSE(event->Send());
    EXPECT_FALSE(event->Send());
    EXPECT_EQ(capture.Text(),
              reason.empty() ? "" : "tessaline: host script " + sender.string() + ": " + reason + "\n");
  }
}

TEST_F(ScriptRunnerTest, ReplyCutAtItsCapIsSaidOnce) {
  const std::string path = (dir_ / "resources" / "scripts" / "172").string();
  const struct {
    std::size_t size;
    const char* says;
  } replies[] = {
      {std::size_t{1} << 20, ""},
      {(std::size_t{1} << 20) + 1, "reply cut at 1 MiB"},
      {std::size_t{3} << 20, ""},  // said already
  };
  for (const auto& reply : replies) {
    SCOPED_TRACE(reply.size);
    WriteScript(172, "head -c " + std::to_string(reply.size) + " /dev/zero | tr '\\0' x");
    StderrCapture capture(dir_ / "stderr");
    EXPECT_EQ(runner_.ScriptFunction(172).str(), std::string(std::size_t{1} << 20, 'x'));
    EXPECT_EQ(runner_.ScriptFunction(172).str().size(), std::size_t{1} << 20);
    const std::string says = reply.says;
    EXPECT_EQ(capture.Text(), says.empty() ? "" : "tessaline: host script " + path + ": " + says + "\n");
  }
}

// Without its keeper no script runs: the reply is empty and the line names
// the keeper, not the script, as what is missing.
TEST_F(ScriptRunnerTest, MissingKeeperIsNamedOnceAndTheReplyIsEmpty) {
  const std::string path = (dir_ / "resources" / "scripts" / "168").string();
  const std::string keeper = (dir_ / "no-keeper").string();
  WriteScript(168, "printf 14.0.0");
  const std::string built = platform::KeeperProgram();
  platform::SetKeeperProgram(keeper);
  StderrCapture capture(dir_ / "stderr");
  EXPECT_EQ(runner_.ScriptFunction(168).str(), "");
  EXPECT_EQ(runner_.ScriptFunction(168).str(), "");
  platform::SetKeeperProgram(built);
  EXPECT_EQ(capture.Text(), "tessaline: host script " + path + ": could not be started: its keeper " +
                                keeper + " could not (No such file or directory)\n");
  EXPECT_EQ(runner_.ScriptFunction(168).str(), "14.0.0");
}

TEST_F(ScriptRunnerTest, FloodOfOutputIsCappedWithoutHoldingItAll) {
  WriteScript(172, "head -c 50000000 /dev/zero | tr '\\0' x");
  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  const std::string result = runner_.ScriptFunction(172).str();
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);

  EXPECT_EQ(result.size(), std::size_t{1} << 20);
  EXPECT_EQ(result.find_first_not_of('x'), std::string::npos);
#ifndef __SANITIZE_ADDRESS__
  // ru_maxrss is in KiB; holding the 50 MB would show. (AddressSanitizer
  // keeps freed chunks in quarantine, so there the peak says nothing.)
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 24 * 1024);
#endif

  // An endless flood meets its limit like any other runaway.
  ScopedTimeLimit limit(300ms);
  const fs::path pidFile = dir_ / "yes.pid";
  WriteScript(172, "printf '%s' $$ > '" + pidFile.string() + "'; exec yes");
  EXPECT_EQ(runner_.ScriptFunction(172).str(), "");
  const std::vector<pid_t> yes = PidsIn(pidFile);
  ASSERT_EQ(yes.size(), 1u);
  EXPECT_TRUE(Gone(yes[0])) << "yes " << yes[0] << " is still there";
}

TEST_F(ScriptRunnerTest, HandlesAreUniqueAndACompletedCallIsGone) {
  const fs::path runs = dir_ / "runs";
  WriteScript(170, "printf 'ran %s\\n' \"$1\" >> '" + runs.string() + "'; printf done");

  platform::ProcessScriptRunner other;
  std::vector<int32_t> handles;
  for (int i = 0; i < 4; ++i) {
    handles.push_back(runner_.StartParamScript(170));
    handles.push_back(other.StartParamScript(170));
  }
  for (std::size_t i = 0; i < handles.size(); ++i) {
    EXPECT_GT(handles[i], 0);
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(handles[i], handles[j]);
  }

  const int32_t handle = handles[0];
  runner_.AddStringScriptParam(handle, "first");
  EXPECT_EQ(runner_.CompleteParamScriptFunction(handle).str(), "done");
  // The same handle again, one never given, and another runner's: no run.
  EXPECT_EQ(runner_.CompleteParamScriptFunction(handle).str(), "");
  runner_.CompleteParamScriptExecute(handle);
  runner_.AddStringScriptParam(handle, "late");
  EXPECT_EQ(runner_.CompleteParamScriptFunction(-1).str(), "");
  EXPECT_EQ(runner_.CompleteParamScriptFunction(handles[1]).str(), "");
  // Execute runs the script as well, and discards what it answers.
  other.AddIntegerScriptParam(handles[1], 9);
  other.CompleteParamScriptExecute(handles[1]);
  EXPECT_EQ(ReadFile(runs), "ran first\nran 9\n");
}

TEST_F(ScriptRunnerTest, CurrentRunnerIsTheProcessRunnerUnlessOneIsInstalled) {
  platform::ProcessScriptRunner installed;
  platform::SetScriptRunner(&installed);
  EXPECT_EQ(&platform::CurrentScriptRunner(), &installed);
  platform::SetScriptRunner(nullptr);
  EXPECT_NE(&platform::CurrentScriptRunner(), &installed);
  EXPECT_NE(dynamic_cast<platform::ProcessScriptRunner*>(&platform::CurrentScriptRunner()), nullptr);
}

TEST_F(ScriptRunnerTest, ResourcesFolderIsTheOneSetElseBesideTheExecutable) {
  EXPECT_EQ(platform::ResourcesFolder(), (dir_ / "resources").string());
  platform::SetResourcesFolder("");
  EXPECT_EQ(platform::ResourcesFolder(),
            (fs::read_symlink("/proc/self/exe").parent_path() / "resources").string());
}

TEST_F(ScriptRunnerTest, AppleEventNeedsFourByteCodes) {
  const struct {
    const char* eventClass;
    const char* eventId;
    const char* target;
    bool made;
  } cases[] = {
      {"misc", "actv", "ARTx", true},
      {"mis", "actv", "ARTx", false},
      {"miscc", "actv", "ARTx", false},
      {"misc", "", "ARTx", false},
      {"misc", "actv", "ART", false},
      {"misc", "actv", "ARTxy", false},
      {"\xC3\xA9\xC3\xA9", "actv", "ARTx", true},  // four bytes, two characters
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.eventClass) + "/" + c.eventId + "/" + c.target);
    auto event = platform::NewAppleEvent(c.eventClass, c.eventId, c.target);
    EXPECT_EQ(!event.IsNil(), c.made);
    if (event) {
      EXPECT_EQ(event->eventClass().str(), c.eventClass);
      EXPECT_EQ(event->eventId().str(), c.eventId);
      EXPECT_EQ(event->target().str(), c.target);
    }
  }
}

TEST_F(ScriptRunnerTest, AppleEventIsSentByTheAppleeventProgram) {
  const fs::path args = dir_ / "args", pid = dir_ / "sender.pid";
  const std::string record = "printf '%s' $$ > '" + pid.string() + "'; printf '<%s>' \"$@\" > '" +
                             args.string() + "'; ";
  auto event = platform::NewAppleEvent("misc", "actv", "AR$x");
  ASSERT_FALSE(event.IsNil());

  const struct {
    const char* name;
    std::optional<std::string> body;
    bool sent;
  } cases[] = {
      {"exits 0", record + "exit 0", true},
      {"exits 1", record + "exit 1", false},
      {"missing", std::nullopt, false},
      {"never ends", record + "exec " + kSleepForEver, false},
  };
  ScopedTimeLimit limit(300ms);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_ / "resources" / "appleevent");
    fs::remove(args);
    fs::remove(pid);
    if (c.body) WriteScript("appleevent", *c.body);
    EXPECT_EQ(event->Send(), c.sent);
    if (c.body) {
      EXPECT_EQ(ReadFile(args), "<misc><actv><AR$x>");
      const std::vector<pid_t> sender = PidsIn(pid);
      ASSERT_EQ(sender.size(), 1u);
      EXPECT_TRUE(Gone(sender[0])) << sender[0] << " is still there";
    }
  }
}

TEST_F(ScriptRunnerTest, InstalledAppleEventSenderTakesTheEvents) {
  struct Sender : platform::AppleEventSender {
    bool Send(const platform::AppleEvent& event) override {
      seen.push_back(event.eventClass().str() + event.eventId().str() + event.target().str());
      return true;
    }
    std::vector<std::string> seen;
  } sender;
  WriteScript("appleevent", "exit 1");
  auto event = platform::NewAppleEvent("misc", "actv", "ARTx");
  platform::SetAppleEventSender(&sender);
  EXPECT_TRUE(event->Send());
  platform::SetAppleEventSender(nullptr);
  EXPECT_FALSE(event->Send());
  EXPECT_EQ(sender.seen, std::vector<std::string>{"miscactvARTx"});
}

TEST_F(ScriptRunnerTest, ShippedStandInHostAnswersLikeARunningHost) {
  platform::SetResourcesFolder(std::string(TESSALINE_SOURCE_DIR) + "/resources");
  EXPECT_EQ(runner_.ScriptFunction(168).str(), "14.0.0");
  EXPECT_EQ(runner_.ScriptFunction(169).str(), "Illustrator");
  for (int32_t id : {168, 169, 170, 171, 172}) {
    StderrCapture quiet(dir_ / "stderr");
    const auto run = platform::RunProcess(platform::ResourcesFolder() + "/scripts/" + std::to_string(id),
                                          {}, 10s);
    EXPECT_TRUE(run.started && run.finishedInTime) << id;
    EXPECT_EQ(run.exitCode, 0) << id;
  }
  EXPECT_TRUE(platform::NewAppleEvent("misc", "actv", "ARTx")->Send());

  const struct {
    int32_t id;
    const char* says;
  } runs[] = {
      {171, "tessaline stand-in host: would run compiled script: "},
      {172, "tessaline stand-in host: would have the host run JavaScript: "},
  };
  // A name goes to the terminal with its control characters escaped, so
  // that it cannot drive the terminal; every other byte as it is.
  std::vector<std::pair<std::string, std::string>> shown = {
      {"/s/\x1b]0;owned\x07.jsx", "/s/\\x1b]0;owned\\x07.jsx"},
      {"/s/\x1b[2J\x1b[H.scpt", "/s/\\x1b[2J\\x1b[H.scpt"},
      {"line one\nline two\r", "line one\\x0aline two\\x0d"},
      {"\x01\ttab\x1f\x7f ~", "\\x01\\x09tab\\x1f\\x7f ~"},
      {"back\\x1b slash", "back\\x1b slash"},
  };
  for (const auto& path : HostilePaths(dir_)) {
    if (std::none_of(path.begin(), path.end(), [](char c) { return c >= 0 && c < 0x20; })) {
      shown.emplace_back(path, path);
    }
  }
  for (const auto& r : runs) {
    for (const auto& [path, printed] : shown) {
      SCOPED_TRACE(std::to_string(r.id) + " " + path);
      StderrCapture capture(dir_ / "stderr");
      const std::string result = Call(r.id, {path});
      EXPECT_EQ(capture.Text(), r.says + printed + "\n");
      EXPECT_EQ(result, "");
    }
  }
  ExpectNothingWasRun(dir_);
}

}  // namespace
