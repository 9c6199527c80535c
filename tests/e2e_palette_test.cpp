// The palette as its user meets it: the built program on an X server of its
// own, with no window manager, a stand-in host that records what it is
// asked to run, and xdotool for the user's hands.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/palette_fixture.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;
using testsupport::TempDir;

constexpr char kTitlePattern[] = "^Tessalineパレット$";
// A host version with no scripts folder of its own, so that nothing under
// /Applications is looked at.
constexpr char kVersionWithoutFolder[] = "9.0";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Written beside and renamed into place: a host script reading the file at
// that moment sees the old text or the new one, never half of either.
void WriteFile(const fs::path& path, const std::string& text, bool executable = false) {
  const fs::path part = path.string() + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + part.string());
  }
  if (executable) fs::permissions(part, fs::perms::owner_all);
  fs::rename(part, path);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool OnPath(const char* tool) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (!dir.empty() && ::access((fs::path(dir) / tool).c_str(), X_OK) == 0) return true;
  }
  return false;
}

std::vector<std::string> InheritedEnvironment() {
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) env.emplace_back(*entry);
  return env;
}

// Starts `argv` with exactly `env`; `fds` maps a child's descriptor to the
// parent's descriptor it is a copy of. Standard input is /dev/null.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::vector<std::pair<int, int>>& fds, const fs::path& cwd = {}) {
  std::vector<char*> args, vars;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& v : env) vars.push_back(const_cast<char*>(v.c_str()));
  vars.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  for (const auto& [target, source] : fds) posix_spawn_file_actions_adddup2(&actions, source, target);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

  // A test run from a shell's background job ignores SIGINT; the child
  // must start with the signals as a desktop would give them.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  const int error = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), vars.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
  }
  return pid;
}

std::string Describe(const std::optional<int>& status) {
  if (!status) return "still running";
  if (WIFEXITED(*status)) return "exited with status " + std::to_string(WEXITSTATUS(*status));
  if (WIFSIGNALED(*status)) {
    return std::string("killed by signal ") + strsignal(WTERMSIG(*status)) +
           (WCOREDUMP(*status) ? " (core dumped)" : "");
  }
  return "wait status " + std::to_string(*status);
}

// A child process, killed and reaped at the end if it is still running.
class Process {
 public:
  Process() = default;
  explicit Process(pid_t pid) : pid_(pid) {}
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process(Process&& other) noexcept { *this = std::move(other); }
  Process& operator=(Process&& other) noexcept {
    std::swap(pid_, other.pid_);
    std::swap(status_, other.status_);
    return *this;
  }
  ~Process() { Kill(); }

  // The wait status once the process has ended.
  std::optional<int> Poll() {
    if (status_ || pid_ <= 0) return status_;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    return status_;
  }

  std::optional<int> Wait(Ms limit) {
    const auto deadline = Clock::now() + limit;
    while (!Poll() && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
    return Poll();
  }

  void Signal(int sig) {
    if (pid_ > 0 && !Poll()) ::kill(pid_, sig);
  }

  void Kill() {
    if (pid_ <= 0 || Poll()) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = status;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

struct Output {
  std::optional<int> status;  // nothing: killed after its time ran out
  std::string out, err;
  bool Succeeded() const { return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0; }
};

// Runs a tool to its end, or kills it when `limit` is over.
Output RunTool(const std::vector<std::string>& argv, const std::vector<std::string>& env, Ms limit) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    throw std::runtime_error("pipe failed");
  }
  Process tool;
  try {
    tool = Process(Spawn(argv, env, {{1, out[1]}, {2, err[1]}}));
  } catch (...) {
    for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
    throw;
  }
  ::close(out[1]);
  ::close(err[1]);

  Output result;
  const auto deadline = Clock::now() + limit;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
    if (left <= 0) break;
    if (::poll(fds, 2, static_cast<int>(left)) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& f : fds) {
    if (f.fd >= 0) ::close(f.fd);
  }
  result.status = tool.Wait(open == 0 ? Ms(2000) : Ms(0));
  return result;  // a tool past its time is killed on the way out
}

// An X server of the test's own. Xvfb picks a free display number itself
// and writes it once it accepts connections, so two servers starting at
// the same moment cannot take the same number.
class XServer {
 public:
  static bool Installed() { return OnPath("Xvfb"); }

  XServer() {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
      error_ = "pipe failed";
      return;
    }
    const fs::path logPath = dir_.path() / "xvfb.log";
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    constexpr int kReadyFd = 100;
    try {
      process_ = Process(Spawn({"Xvfb", "-displayfd", std::to_string(kReadyFd), "-screen", "0",
                                "1280x1024x24", "-nolisten", "tcp"},
                               InheritedEnvironment(),
                               {{1, log}, {2, log}, {kReadyFd, ready[1]}}, dir_.path()));
    } catch (const std::exception& e) {
      error_ = e.what();
    }
    ::close(log);
    ::close(ready[1]);

    std::string number;
    const auto deadline = Clock::now() + 10s;
    while (error_.empty() && number.find('\n') == std::string::npos) {
      const auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
      pollfd fd{ready[0], POLLIN, 0};
      if (left <= 0 || ::poll(&fd, 1, static_cast<int>(left)) <= 0) break;
      char buffer[32];
      const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
      if (n <= 0) break;  // Xvfb ended without a display
      number.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(ready[0]);
    if (!error_.empty()) return;
    if (number.find('\n') == std::string::npos) {
      error_ = "Xvfb gave no display number (" + Describe(process_.Poll()) + "): " +
               ReadFile(logPath);
      return;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
  }

  ~XServer() {
    process_.Signal(SIGCONT);  // a test may have stopped it
    process_.Signal(SIGTERM);
    if (!process_.Wait(3000ms)) process_.Kill();
  }

  // The server goes away, as at the end of a desktop session without a
  // session manager.
  void Kill() { process_.Kill(); }
  // The server stops answering, and goes on again.
  void Stop() { process_.Signal(SIGSTOP); }
  void Continue() { process_.Signal(SIGCONT); }

  const std::string& display() const { return display_; }
  const std::string& error() const { return error_; }

 private:
  TempDir dir_;  // before the process: it outlives it
  Process process_;
  std::string display_;
  std::string error_;
};

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Geometry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Geometry& g) {
  return out << g.width << "x" << g.height << "+" << g.x << "+" << g.y;
}

// A home, a preferences folder and a recording host for one run of the
// palette.
class PaletteHome : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const fs::path& dir : {home_, config_, runtime_, host_ / "scripts"}) {
      fs::create_directories(dir);
    }
    fs::permissions(runtime_, fs::perms::owner_all, fs::perm_options::replace);
    // 171 and 172 write one line per argument, so a path with spaces in it
    // comes through whole.
    const std::string sh = "#!/bin/sh\n";
    WriteFile(host_ / "scripts" / "168",
              sh + "printf '%s\\n' '" + kVersionWithoutFolder + "'\n", true);
    WriteFile(host_ / "scripts" / "169", sh + "cat '" + front_.string() + "'\n", true);
    WriteFile(host_ / "scripts" / "170", sh + "exit 0\n", true);
    for (const char* id : {"171", "172"}) {
      WriteFile(host_ / "scripts" / id,
                sh + "printf '" + id + " %s\\n' \"$@\" >> '" + hostLog_.string() + "'\n", true);
    }
    WriteFile(host_ / "appleevent", sh + "exit 0\n", true);
    SetFrontmost("Illustrator");
  }

  // What the host answers for the frontmost application from now on.
  void SetFrontmost(const std::string& name) { WriteFile(front_, name + "\n"); }

  // A scripts folder holding the given empty files.
  fs::path MakeScriptsFolder(const std::string& name, const std::vector<std::string>& files) {
    const fs::path folder = root_.path() / name;
    fs::create_directories(folder);
    for (const std::string& file : files) WriteFile(folder / file, "");
    return folder;
  }

  void WritePrefs(const std::string& text) { WriteFile(prefs_, text); }
  // The file is read once, at open; once it is gone, only the close can
  // bring it back.
  void RemovePrefsOnceRead() { fs::remove(prefs_); }

  std::vector<std::string> Environment(const std::optional<std::string>& display,
                                       bool recordingHost = true) const {
    const char* path = std::getenv("PATH");
    std::vector<std::string> env = {
        std::string("PATH=") + (path ? path : "/usr/bin:/bin"),
        "HOME=" + home_.string(),
        "XDG_CONFIG_HOME=" + config_.string(),
        "XDG_RUNTIME_DIR=" + runtime_.string(),
        // A desktop session's locale. In the C locale Qt writes the window's
        // old-style title (WM_NAME) as Latin-1 text holding UTF-8 bytes,
        // which xdotool's name search then never matches.
        "LANG=C.UTF-8",
    };
    if (display) env.push_back("DISPLAY=" + *display);
    if (recordingHost) env.push_back("TESSALINE_RESOURCES=" + host_.string());
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    }
    return env;
  }

  // Standard output and error go to files beside the home, and the working
  // folder is the test's own, where a core dump would land.
  Process StartPalette(const std::vector<std::string>& env) {
    const int out = ::open((root_.path() / "palette.out").c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Process palette(Spawn({TESSALINE_BINARY}, env, {{1, out}, {2, err}}, root_.path()));
    ::close(out);
    ::close(err);
    return palette;
  }

  std::string PaletteStderr() const { return "palette's stderr:\n" + ReadFile(stderrPath_); }

  // The palette refused to start: one line on standard error that speaks of
  // the display and names `mentions`, exit status 2, no abort.
  void ExpectOneSentenceAndStatus2(Process& palette, const std::string& mentions) {
    const std::optional<int> status = palette.Wait(5000ms);
    ASSERT_TRUE(status) << "still running 5 s later\n" << PaletteStderr();
    ASSERT_TRUE(WIFEXITED(*status)) << Describe(status) << "\n" << PaletteStderr();
    EXPECT_EQ(WEXITSTATUS(*status), 2) << PaletteStderr();

    const std::string err = ReadFile(stderrPath_);
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "not one line:\n" << err;
    EXPECT_NE(err.find("display"), std::string::npos) << err;
    EXPECT_NE(err.find(mentions), std::string::npos) << err;
    for (const auto& entry : fs::directory_iterator(root_.path())) {
      EXPECT_NE(entry.path().filename().string().rfind("core", 0), 0u) << entry.path();
    }
  }

  // The palette ends with status 0, well within a second of `since` (the
  // moment of what ended it): the bound leaves a loaded machine a margin of
  // a few times that, and still catches a wait of seconds.
  void ExpectEndsWellWithinASecond(Process& palette, Clock::time_point since) {
    const std::optional<int> status = palette.Wait(10000ms);
    const auto took = std::chrono::duration_cast<Ms>(Clock::now() - since);
    ASSERT_TRUE(status) << "the palette still runs 10 s later\n" << PaletteStderr();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << Describe(status) << "\n"
        << PaletteStderr();
    EXPECT_LT(took, 3000ms) << "the palette took " << took.count() << " ms to end\n"
                            << PaletteStderr();
  }

  void ExpectEndsWithStatus0(Process& palette) {
    const std::optional<int> status = palette.Wait(5000ms);
    ASSERT_TRUE(status) << "the palette still runs 5 s later\n" << PaletteStderr();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << Describe(status) << "\n"
        << PaletteStderr();
  }

  TempDir root_;
  const fs::path home_ = root_.path() / "home";
  const fs::path config_ = root_.path() / "config";
  const fs::path runtime_ = root_.path() / "runtime";
  const fs::path host_ = root_.path() / "host";
  const fs::path hostLog_ = root_.path() / "host.log";
  const fs::path front_ = root_.path() / "frontmost";
  const fs::path prefs_ = config_ / "velquor.pref";
  const fs::path stderrPath_ = root_.path() / "palette.err";
};

class PaletteOnX : public PaletteHome {
 protected:
  void SetUp() override {
    if (!XServer::Installed()) {
      GTEST_SKIP() << "Xvfb is not installed, so the palette cannot be shown "
                      "(tools/setup installs xvfb, xauth, xdotool and x11-utils)";
    }
    for (const char* tool : {"xdotool", "xwininfo"}) {
      ASSERT_TRUE(OnPath(tool)) << tool << " is not installed (tools/setup installs it)";
    }
    PaletteHome::SetUp();
    server_ = std::make_unique<XServer>();
    ASSERT_FALSE(server_->display().empty()) << server_->error();
  }

  Process StartPalette(bool recordingHost = true) {
    return PaletteHome::StartPalette(Environment(server_->display(), recordingHost));
  }

  Output X(const std::vector<std::string>& argv, Ms limit = 5000ms) const {
    return RunTool(argv, Environment(server_->display(), false), limit);
  }

  // The palette window's id (or that of another window of the palette,
  // by its title), once it is shown; empty, with a failure, when it does
  // not show or the palette ends first.
  std::string FindWindow(Process& palette, const char* titlePattern = kTitlePattern) {
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
      if (palette.Poll()) {
        ADD_FAILURE() << "the palette " << Describe(palette.Poll())
                      << " before its window showed\n"
                      << PaletteStderr();
        return {};
      }
      const Output found =
          X({"xdotool", "search", "--sync", "--onlyvisible", "--name", titlePattern}, 1000ms);
      std::istringstream ids(found.out);
      if (std::string id; ids >> id) return id;
    }
    ADD_FAILURE() << "no window titled " << titlePattern << " showed within 10 s\n"
                  << PaletteStderr();
    return {};
  }

  std::optional<Geometry> GeometryOf(const std::string& window) const {
    const Output shown = X({"xdotool", "getwindowgeometry", "--shell", window});
    std::map<std::string, int> values;
    for (const std::string& line : Lines(shown.out)) {
      const auto eq = line.find('=');
      if (eq != std::string::npos) values[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    }
    for (const char* key : {"X", "Y", "WIDTH", "HEIGHT"}) {
      if (!values.count(key)) return std::nullopt;
    }
    return Geometry{values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
  }

  // The geometry once two readings a moment apart agree: the palette
  // places its content area exactly only after the window is mapped.
  std::optional<Geometry> SettledGeometry(const std::string& window) const {
    std::optional<Geometry> last = GeometryOf(window);
    for (int i = 0; i < 20; ++i) {
      std::this_thread::sleep_for(100ms);
      std::optional<Geometry> now = GeometryOf(window);
      if (now && now == last) return now;
      last = now;
    }
    return last;
  }

  bool Viewable(const std::string& window) const {
    return X({"xwininfo", "-id", window}).out.find("Map State: IsViewable") != std::string::npos;
  }

  static bool WaitUntil(const std::function<bool()>& condition, Ms limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      if (condition()) return true;
      std::this_thread::sleep_for(100ms);
    }
    return condition();
  }

  void PressCtrlQ(const std::string& window) {
    const Output focus = X({"xdotool", "windowfocus", "--sync", window});
    ASSERT_TRUE(focus.Succeeded()) << "windowfocus: " << Describe(focus.status) << " " << focus.err;
    const Output key = X({"xdotool", "key", "ctrl+q"});
    ASSERT_TRUE(key.Succeeded()) << "key: " << Describe(key.status) << " " << key.err;
  }

  std::unique_ptr<XServer> server_;
};

// The palette's content area in the window: the menu bar sits inside the
// window, above it, so the window is taller than the content by the bar.
int MenuBarHeight(const Geometry& window, int contentHeight) { return window.height - contentHeight; }

TEST_F(PaletteOnX, CtrlQEndsTheProgramAndSavesWhereTheUserLeftTheWindow) {
  Process palette = StartPalette();
  const std::string window = FindWindow(palette);
  ASSERT_FALSE(window.empty());
  const std::optional<Geometry> shown = SettledGeometry(window);
  ASSERT_TRUE(shown);
  // Without a saved file the design size stands.
  const int bar = MenuBarHeight(*shown, 200);
  EXPECT_EQ(shown->width, 150) << *shown;
  EXPECT_GT(bar, 0) << "no menu bar above the list: " << *shown;
  EXPECT_LT(bar, 60) << *shown;

  // What a window manager does when the user drags the window and its
  // corner: the whole window, menu bar included, moves and takes the size.
  const Output moved = X({"xdotool", "windowmove", "--sync", window, "310", "270", "windowsize",
                          "--sync", window, "190", std::to_string(240 + bar)});
  ASSERT_TRUE(moved.Succeeded()) << Describe(moved.status) << " " << moved.err;
  const std::optional<Geometry> left = SettledGeometry(window);
  ASSERT_EQ(left, (Geometry{310, 270, 190, 240 + bar}));

  PressCtrlQ(window);
  ExpectEndsWithStatus0(palette);
  // A host version with no scripts folder leaves the folder line empty.
  const std::vector<std::string> expected = {"310", std::to_string(270 + bar), "190", "240", ""};
  EXPECT_EQ(Lines(ReadFile(prefs_)), expected);
  EXPECT_FALSE(fs::exists(hostLog_));
}

TEST_F(PaletteOnX, OpensAtTheSavedBoundsOnTheSavedFolderAndRunsTheDoubleClickedScript) {
  // One script, so it is the first row whatever the order; the names hold
  // spaces and Japanese text, which must reach the host and the file whole.
  const fs::path folder = MakeScriptsFolder("スクリプト 集", {"開く 1.jsx"});
  WritePrefs("200\n150\n180\n260\n" + folder.string() + "\n");

  Process palette = StartPalette();
  const std::string window = FindWindow(palette);
  ASSERT_FALSE(window.empty());
  const std::optional<Geometry> shown = SettledGeometry(window);
  ASSERT_TRUE(shown);
  const int bar = MenuBarHeight(*shown, 260);
  ASSERT_GT(bar, 0) << "the window is not taller than the saved content height: " << *shown;
  ASSERT_LT(bar, 60) << *shown;
  EXPECT_EQ(shown->x, 200) << *shown;
  EXPECT_EQ(shown->y + bar, 150) << "the content area's top is not the saved top: " << *shown;
  EXPECT_EQ(shown->width, 180) << *shown;
  RemovePrefsOnceRead();

  // The list starts at the content area's top edge; rows of its 10-point
  // text are well over 8 pixels high.
  const Output click = X({"xdotool", "mousemove", "--sync", "--window", window, "40",
                          std::to_string(bar + 8), "click", "--repeat", "2", "--delay", "80", "1"});
  ASSERT_TRUE(click.Succeeded()) << Describe(click.status) << " " << click.err;
  EXPECT_TRUE(WaitUntil([&] { return fs::exists(hostLog_); }, 5000ms))
      << "the host was asked to run nothing\n"
      << PaletteStderr();

  PressCtrlQ(window);
  ExpectEndsWithStatus0(palette);
  EXPECT_EQ(ReadFile(hostLog_), "172 " + (folder / "開く 1.jsx").string() + "\n");
  const std::vector<std::string> expected = {"200", "150", "180", "260", folder.string()};
  EXPECT_EQ(Lines(ReadFile(prefs_)), expected);
}

TEST_F(PaletteOnX, TheTimerHidesThePaletteForAnotherApplicationAndShowsItForItself) {
  const fs::path folder = MakeScriptsFolder("scripts", {"a.jsx"});
  WritePrefs("260\n200\n170\n230\n" + folder.string() + "\n");
  Process palette = StartPalette();
  const std::string window = FindWindow(palette);
  ASSERT_FALSE(window.empty());
  const std::optional<Geometry> before = SettledGeometry(window);
  ASSERT_TRUE(before);
  RemovePrefsOnceRead();

  SetFrontmost("Finder");
  EXPECT_TRUE(WaitUntil([&] { return !Viewable(window); }, 4000ms))
      << "still shown while another application is frontmost";
  SetFrontmost("Tessalineパレット");
  ASSERT_TRUE(WaitUntil([&] { return Viewable(window); }, 4000ms))
      << "not shown again while the palette itself is frontmost\n"
      << PaletteStderr();
  EXPECT_EQ(SettledGeometry(window), before) << "shown again somewhere else";

  PressCtrlQ(window);
  ExpectEndsWithStatus0(palette);
  const std::vector<std::string> expected = {"260", "200", "170", "230", folder.string()};
  EXPECT_EQ(Lines(ReadFile(prefs_)), expected);
}

TEST_F(PaletteOnX, TheStandInHostBesideTheProgramKeepsThePaletteUpUntilCtrlQ) {
  // The stand-in host names the CS4 folder, which is not on this machine;
  // the saved folder wins over it.
  const fs::path folder = MakeScriptsFolder("scripts", {"a.jsx"});
  WritePrefs("240\n180\n160\n220\n" + folder.string() + "\n");
  Process palette = StartPalette(/*recordingHost=*/false);
  const std::string window = FindWindow(palette);
  ASSERT_FALSE(window.empty());
  RemovePrefsOnceRead();

  std::this_thread::sleep_for(2500ms);  // two ticks at least
  ASSERT_FALSE(palette.Poll()) << "the palette " << Describe(palette.Poll()) << "\n"
                               << PaletteStderr();
  EXPECT_TRUE(Viewable(window)) << "hidden though the stand-in host is frontmost";

  PressCtrlQ(window);
  ExpectEndsWithStatus0(palette);
  const std::vector<std::string> expected = {"240", "180", "160", "220", folder.string()};
  EXPECT_EQ(Lines(ReadFile(prefs_)), expected);
  EXPECT_EQ(ReadFile(stderrPath_).find("unhandled"), std::string::npos) << PaletteStderr();
}

struct SignalCase {
  int signal;
  const char* name;
};

void PrintTo(const SignalCase& c, std::ostream* out) { *out << c.name; }

class PaletteSignalTest : public PaletteOnX, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(PaletteSignalTest, EndsThePaletteThroughItsCloseWhichSavesTheFile) {
  const fs::path folder = MakeScriptsFolder("scripts", {"a.jsx"});
  const std::string saved = "310\n220\n200\n240\n" + folder.string() + "\n";
  WritePrefs(saved);
  Process palette = StartPalette();
  const std::string window = FindWindow(palette);
  ASSERT_FALSE(window.empty());
  RemovePrefsOnceRead();

  palette.Signal(GetParam().signal);
  ExpectEndsWithStatus0(palette);
  EXPECT_EQ(Lines(ReadFile(prefs_)), Lines(saved));
}

INSTANTIATE_TEST_SUITE_P(Signals, PaletteSignalTest,
                         ::testing::Values(SignalCase{SIGTERM, "SIGTERM"},
                                           SignalCase{SIGINT, "SIGINT"},
                                           SignalCase{SIGHUP, "SIGHUP"}),
                         [](const auto& info) { return std::string(info.param.name); });

// Whether the process of that pid is gone (a zombie counts as gone).
bool Gone(const std::string& pid) {
  const std::string stat = ReadFile("/proc/" + pid + "/stat");
  const auto close = stat.rfind(')');
  return stat.empty() || (close != std::string::npos && stat.compare(close + 2, 1, "Z") == 0);
}

// What the palette may be waiting on when a quit signal comes.
struct WaitCase {
  const char* name;
  int signal;
  bool hostScriptHangs;  // else the first-run message box is up
};

void PrintTo(const WaitCase& c, std::ostream* out) { *out << c.name; }

class PaletteQuitWhileWaitingTest : public PaletteOnX,
                                    public ::testing::WithParamInterface<WaitCase> {};

TEST_P(PaletteQuitWhileWaitingTest, EndsWellWithinASecondThroughItsCloseWhichSavesTheFile) {
  const WaitCase& c = GetParam();
  // An empty folder lists nothing, so that Open shows its message box.
  const fs::path folder = MakeScriptsFolder(c.hostScriptHangs ? "scripts" : "empty",
                                            c.hostScriptHangs ? std::vector<std::string>{"a.jsx"}
                                                              : std::vector<std::string>{});
  // A sixth line is never read, and the close writes five: the file shows
  // whether the close ran.
  const std::string bounds = "310\n220\n200\n240\n" + folder.string() + "\n";
  WritePrefs(bounds + "sixth\n");
  const fs::path started = root_.path() / "version-asked", sleeper = root_.path() / "sleeper.pid";
  if (c.hostScriptHangs) {
    // The host takes its time over the version, far longer than the wait
    // below, in a process of its own as a real host script would.
    WriteFile(host_ / "scripts" / "168",
              "#!/bin/sh\nsleep 100 & printf '%s' $! > '" + sleeper.string() + "'; : > '" +
                  started.string() + "'; wait; printf '9.0\\n'\n",
              true);
  }
  Process palette = StartPalette();
  if (c.hostScriptHangs) {
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(started); }, 10000ms))
        << "the host was never asked for its version\n"
        << PaletteStderr();
  } else {
    ASSERT_FALSE(FindWindow(palette, "^Tessaline palette$").empty());
  }

  const auto signalled = Clock::now();
  palette.Signal(c.signal);
  ExpectEndsWellWithinASecond(palette, signalled);
  EXPECT_EQ(Lines(ReadFile(prefs_)), Lines(bounds));
  if (c.hostScriptHangs) {
    const std::string pid = ReadFile(sleeper);
    ASSERT_FALSE(pid.empty());
    EXPECT_TRUE(WaitUntil([&] { return Gone(pid); }, 5000ms))
        << "what the host script started still runs";
  }
}

INSTANTIATE_TEST_SUITE_P(Waits, PaletteQuitWhileWaitingTest,
                         ::testing::Values(WaitCase{"MessageBox", SIGTERM, false},
                                           WaitCase{"MessageBoxHangUp", SIGHUP, false},
                                           WaitCase{"HostScript", SIGTERM, true},
                                           WaitCase{"HostScriptInterrupt", SIGINT, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct MoveThenQuitCase {
  const char* name;
  bool bySignal;  // else Ctrl+Q
};

void PrintTo(const MoveThenQuitCase& c, std::ostream* out) { *out << c.name; }

class PaletteMoveThenQuitTest : public PaletteOnX,
                                public ::testing::WithParamInterface<MoveThenQuitCase> {};

TEST_P(PaletteMoveThenQuitTest, SavesWhereTheWindowWasMovedRightBefore) {
  const fs::path folder = MakeScriptsFolder("scripts", {"a.jsx"});
  WritePrefs("50\n100\n150\n200\n" + folder.string() + "\n");
  Process palette = StartPalette();
  const std::string window = FindWindow(palette);
  ASSERT_FALSE(window.empty());
  const std::optional<Geometry> shown = SettledGeometry(window);
  ASSERT_TRUE(shown);
  const int bar = MenuBarHeight(*shown, 200);
  ASSERT_EQ(*shown, (Geometry{50, 100 - bar, 150, 200 + bar}));
  RemovePrefsOnceRead();

  // The quit follows the move as closely as the tools allow: well within
  // the moment the window waits before it reports a move of its own.
  if (GetParam().bySignal) {
    const Output moved = X({"xdotool", "windowmove", "--sync", window, "400", "300"});
    palette.Signal(SIGTERM);
    ASSERT_TRUE(moved.Succeeded()) << Describe(moved.status) << " " << moved.err;
  } else {
    const Output focus = X({"xdotool", "windowfocus", "--sync", window});
    ASSERT_TRUE(focus.Succeeded()) << Describe(focus.status) << " " << focus.err;
    const Output moved =
        X({"xdotool", "windowmove", "--sync", window, "400", "300", "key", "ctrl+q"});
    ASSERT_TRUE(moved.Succeeded()) << Describe(moved.status) << " " << moved.err;
  }
  ExpectEndsWithStatus0(palette);
  const std::vector<std::string> expected = {"400", std::to_string(300 + bar), "150", "200",
                                             folder.string()};
  EXPECT_EQ(Lines(ReadFile(prefs_)), expected);
}

INSTANTIATE_TEST_SUITE_P(Quits, PaletteMoveThenQuitTest,
                         ::testing::Values(MoveThenQuitCase{"CtrlQ", false},
                                           MoveThenQuitCase{"SIGTERM", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The window moved by hand and settled there: where the palette must save
// it when it is ended without a chance to ask the server again.
class PaletteEndedFromOutsideTest : public PaletteOnX {
 protected:
  // Starts the palette (with host scripts that are never cut short by
  // their limits), and moves its window to (400, 300).
  void StartAndMove(Process& palette) {
    folder_ = MakeScriptsFolder("scripts", {"a.jsx"});
    WritePrefs("50\n100\n150\n200\n" + folder_.string() + "\n");
    std::vector<std::string> env = Environment(server_->display());
    env.push_back("TESSALINE_SCRIPT_TIMEOUT_MS=60000");
    palette = PaletteHome::StartPalette(env);
    const std::string window = FindWindow(palette);
    ASSERT_FALSE(window.empty());
    const std::optional<Geometry> shown = SettledGeometry(window);
    ASSERT_TRUE(shown);
    bar_ = MenuBarHeight(*shown, 200);
    RemovePrefsOnceRead();
    const Output moved = X({"xdotool", "windowmove", "--sync", window, "400", "300"});
    ASSERT_TRUE(moved.Succeeded()) << Describe(moved.status) << " " << moved.err;
    ASSERT_EQ(SettledGeometry(window), (Geometry{400, 300, 150, 200 + bar_}));
  }

  std::vector<std::string> Moved() const {
    return {"400", std::to_string(300 + bar_), "150", "200", folder_.string()};
  }

  fs::path folder_;
  int bar_ = 0;
};

// What the palette is doing when its X server goes away.
struct DisplayGoneCase {
  const char* name;
  bool tickScriptHangs;  // else it idles
};

void PrintTo(const DisplayGoneCase& c, std::ostream* out) { *out << c.name; }

class PaletteDisplayGoneTest : public PaletteEndedFromOutsideTest,
                               public ::testing::WithParamInterface<DisplayGoneCase> {};

TEST_P(PaletteDisplayGoneTest, SavesWhereTheWindowWasAndEndsWellWithinASecond) {
  Process palette;
  ASSERT_NO_FATAL_FAILURE(StartAndMove(palette));
  const fs::path started = root_.path() / "tick-started", sleeper = root_.path() / "sleeper.pid";
  if (GetParam().tickScriptHangs) {
    // The next one-second tick asks the host, which never answers.
    WriteFile(host_ / "scripts" / "169",
              "#!/bin/sh\nsleep 100 & printf '%s' $! > '" + sleeper.string() + "'; : > '" +
                  started.string() + "'; wait\n",
              true);
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(started); }, 5000ms))
        << "the tick never asked the host\n"
        << PaletteStderr();
  }

  const auto killed = Clock::now();
  server_->Kill();
  ExpectEndsWellWithinASecond(palette, killed);
  EXPECT_EQ(Lines(ReadFile(prefs_)), Moved());
  if (GetParam().tickScriptHangs) {
    const std::string pid = ReadFile(sleeper);
    ASSERT_FALSE(pid.empty());
    EXPECT_TRUE(WaitUntil([&] { return Gone(pid); }, 5000ms))
        << "what the host script started still runs";
  }
}

INSTANTIATE_TEST_SUITE_P(Doing, PaletteDisplayGoneTest,
                         ::testing::Values(DisplayGoneCase{"Idle", false},
                                           DisplayGoneCase{"WaitingOnTheHost", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PaletteEndedFromOutsideTest, QuitSignalWhileTheServerDoesNotAnswerSavesAndEndsWellWithinASecond) {
  Process palette;
  ASSERT_NO_FATAL_FAILURE(StartAndMove(palette));
  server_->Stop();  // the server's teardown lets it go on again
  const auto signalled = Clock::now();
  palette.Signal(SIGTERM);
  ExpectEndsWellWithinASecond(palette, signalled);
  server_->Continue();
  EXPECT_EQ(Lines(ReadFile(prefs_)), Moved());
}

struct BadDisplayCase {
  const char* name;
  const char* screen;    // appended to the server's display
  const char* platform;  // QT_QPA_PLATFORM, or nullptr
  const char* mentions;  // what the sentence must name
};

void PrintTo(const BadDisplayCase& c, std::ostream* out) { *out << c.name; }

class PaletteOnBadDisplayTest : public PaletteOnX,
                                public ::testing::WithParamInterface<BadDisplayCase> {};

TEST_P(PaletteOnBadDisplayTest, SaysSoInOneSentenceAndExitsWithStatus2) {
  const BadDisplayCase& c = GetParam();
  std::vector<std::string> env = Environment(server_->display() + c.screen);
  if (c.platform) env.push_back(std::string("QT_QPA_PLATFORM=") + c.platform);
  Process palette = PaletteHome::StartPalette(env);
  ExpectOneSentenceAndStatus2(palette, c.mentions);
}

INSTANTIATE_TEST_SUITE_P(
    Displays, PaletteOnBadDisplayTest,
    ::testing::Values(BadDisplayCase{"ScreenThatDoesNotExist", ".5", nullptr, "screen 5"},
                      BadDisplayCase{"PluginNotInstalled", "", "nosuchplugin", "nosuchplugin"},
                      BadDisplayCase{"PluginsNoneInstalled", "", "nosuch;alsonot:x=1", "alsonot"}),
    [](const auto& info) { return std::string(info.param.name); });

// A display number no server holds: neither its socket nor its lock file
// is there.
std::string UnheldDisplay() {
  for (int n = 6000; n < 6100; ++n) {
    const std::string number = std::to_string(n);
    if (!fs::exists("/tmp/.X11-unix/X" + number) && !fs::exists("/tmp/.X" + number + "-lock")) {
      return ":" + number;
    }
  }
  return ":6099";
}

enum class NoDisplay { kUnset, kEmpty, kUnreachableX };

struct NoDisplayCase {
  const char* name;
  NoDisplay display;
  const char* says;  // what the sentence says of DISPLAY, where it names none
};

void PrintTo(const NoDisplayCase& c, std::ostream* out) { *out << c.name; }

class PaletteWithoutDisplayTest : public PaletteHome,
                                  public ::testing::WithParamInterface<NoDisplayCase> {};

// The sentence also says how to run this very program under Xvfb, by a
// path that holds from any folder.
TEST_P(PaletteWithoutDisplayTest, SaysSoInOneSentenceAndExitsWithStatus2) {
  const NoDisplayCase& c = GetParam();
  std::optional<std::string> display;
  if (c.display == NoDisplay::kEmpty) display = "";
  if (c.display == NoDisplay::kUnreachableX) display = UnheldDisplay();
  Process palette = StartPalette(Environment(display));
  ExpectOneSentenceAndStatus2(palette, c.says ? c.says : *display);
  const std::string hint = "xvfb-run -a " + fs::canonical(TESSALINE_BINARY).string() + ".\n";
  const std::string err = ReadFile(stderrPath_);
  EXPECT_EQ(err.substr(err.size() - std::min(err.size(), hint.size())), hint) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Displays, PaletteWithoutDisplayTest,
    ::testing::Values(
        NoDisplayCase{"NoneAtAll", NoDisplay::kUnset, "(DISPLAY and WAYLAND_DISPLAY are not set)"},
        NoDisplayCase{"EmptyDisplay", NoDisplay::kEmpty,
                      "(DISPLAY is empty and WAYLAND_DISPLAY is not set)"},
        NoDisplayCase{"UnreachableX", NoDisplay::kUnreachableX, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
