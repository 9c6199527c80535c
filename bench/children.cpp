// The processes the benchmark starts: find, an X server, the palette and
// the bare window, each timed and measured from outside.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "bench/bench.h"

extern char** environ;

namespace bench {

namespace {

std::vector<char*> CStrings(const std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (const std::string& t : texts) out.push_back(const_cast<char*>(t.c_str()));
  out.push_back(nullptr);
  return out;
}

xcb_connection_t* Connection(void* p) { return static_cast<xcb_connection_t*>(p); }

// The child, if it has ended, without reaping it: its resource usage stays
// for WaitFor.
bool HasEnded(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

void Sleep(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// The peak resident set of the process's own memory since it started its
// program (VmHWM). wait4's ru_maxrss would not do: Linux carries the
// spawning process's high-water mark over the exec into the child's, so
// every child would seem at least as large as the benchmark itself.
double PeakRssMb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

}  // namespace

Spawned Spawn(const std::string& program, const std::vector<std::string>& args,
              const std::optional<std::vector<std::string>>& env, const std::string& output) {
  std::vector<std::string> argvText{program};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv = CStrings(argvText);
  std::vector<char*> envp;
  if (env) envp = CStrings(*env);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  Spawned s;
  s.started = Clock::now();
  const int rc = posix_spawnp(&s.pid, program.c_str(), &actions, nullptr, argv.data(),
                              env ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
  return s;
}

int WaitFor(pid_t pid) {
  int status = 0;
  const auto start = Clock::now();
  for (;;) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return status;
    if (r < 0 && errno != EINTR) throw std::runtime_error("waitpid failed");
    if (MsSince(start) > 10000) {
      // A child that does not end when asked is ended.
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return status;
    }
    Sleep(0.002);
  }
}

double MeasureFind(const fs::path& dir, int runs) {
  std::vector<double> times;
  for (int run = 0; run <= runs; ++run) {
    const Spawned s = Spawn("find", {dir.string(), "-maxdepth", "2"});
    int status = 0;
    waitpid(s.pid, &status, 0);
    const double ms = MsSince(s.started);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("find failed");
    if (run > 0) times.push_back(ms);
  }
  return Median(times);
}

// ------------------------------------------------------------ X server

XServer::~XServer() {
  if (connection_) xcb_disconnect(Connection(connection_));
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    WaitFor(pid_);
  }
}

bool XServer::Start(const fs::path& log, std::string* error) {
  // The server picks a free display number itself and writes it to the
  // pipe: no guessing, no clash with another server on the machine.
  int fds[2];
  if (pipe(fds) != 0) {
    *error = "pipe failed";
    return false;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  try {
    pid_ = Spawn("Xvfb",
                 {"-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24",
                  "-nolisten", "tcp"},
                 std::nullopt, log.string())
               .pid;
  } catch (const std::exception& e) {
    close(fds[0]);
    close(fds[1]);
    *error = e.what();
    return false;
  }
  close(fds[1]);
  std::string number;
  const auto start = Clock::now();
  while (number.find('\n') == std::string::npos && MsSince(start) < 15000) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buffer[32];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    *error = "Xvfb gave no display number (see " + log.string() + ")";
    return false;
  }
  display_.assign(1, ':');
  display_.append(number, 0, number.find('\n'));

  xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    *error = "cannot connect to Xvfb on " + display_;
    return false;
  }
  connection_ = c;
  root_ = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  if (xcb_generic_error_t* e =
          xcb_request_check(c, xcb_change_window_attributes_checked(c, root_, XCB_CW_EVENT_MASK,
                                                                     &mask))) {
    free(e);
    *error = "cannot watch the root window of " + display_;
    return false;
  }
  return true;
}

void XServer::Arm() {
  xcb_connection_t* c = Connection(connection_);
  // A round trip: every event the server sent before it has arrived.
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  while (xcb_generic_event_t* e = xcb_poll_for_event(c)) free(e);
}

std::optional<Clock::time_point> XServer::WaitMapped(pid_t pid, int timeoutMs) {
  xcb_connection_t* c = Connection(connection_);
  const auto start = Clock::now();
  for (;;) {
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY &&
                          !reinterpret_cast<xcb_map_notify_event_t*>(e)->override_redirect;
      free(e);
      if (mapped) return Clock::now();
    }
    if (xcb_connection_has_error(c) || HasEnded(pid) || MsSince(start) > timeoutMs) {
      return std::nullopt;
    }
    pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
    poll(&p, 1, 20);
  }
}

// ------------------------------------------------------------ the programs

std::vector<std::string> ChildEnvironment(const std::string& display, const fs::path& home) {
  static const char* const kDropped[] = {"DISPLAY",         "WAYLAND_DISPLAY",
                                         "XDG_SESSION_TYPE", "QT_QPA_PLATFORM",
                                         "HOME",            "XDG_CONFIG_HOME",
                                         "TESSALINE_RESOURCES", "XDG_RUNTIME_DIR"};
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    const std::string name = entry.substr(0, entry.find('='));
    bool dropped = false;
    for (const char* d : kDropped) dropped = dropped || name == d;
    if (!dropped) env.push_back(entry);
  }
  env.push_back("DISPLAY=" + display);
  env.push_back("QT_QPA_PLATFORM=xcb");
  env.push_back("HOME=" + home.string());
  env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
  env.push_back("XDG_RUNTIME_DIR=" + (home / "runtime").string());
  return env;
}

void WritePaletteHome(const fs::path& home, const fs::path& scripts) {
  fs::create_directories(home / "config");
  fs::create_directories(home / "runtime");
  fs::permissions(home / "runtime", fs::perms::owner_all, fs::perm_options::replace);
  std::ofstream(home / "config" / "velquor.pref", std::ios::binary | std::ios::trunc)
      << "100\n100\n150\n200\n"
      << scripts.string() << "\n";
}

std::vector<StartupFigures> MeasureStartups(XServer& x, const std::vector<Program>& programs,
                                            const fs::path& home, const fs::path& scripts,
                                            int runs) {
  std::vector<StartupFigures> figures(programs.size());
  std::vector<std::vector<double>> times(programs.size()), rss(programs.size());
  const std::vector<std::string> env = ChildEnvironment(x.display(), home);
  const fs::path log = home / "startup.log";
  for (int run = 0; run <= runs; ++run) {
    for (std::size_t p = 0; p < programs.size(); ++p) {
      if (!figures[p].problem.empty()) continue;
      // Every run starts from the same preferences (the palette writes its
      // own back when it closes).
      WritePaletteHome(home, scripts);
      x.Arm();
      const Spawned s = Spawn(programs[p].path, programs[p].args, env, log.string());
      const auto mapped = x.WaitMapped(s.pid, 20000);
      double peak = 0;
      if (mapped) {
        Sleep(kSettleSeconds);
        peak = PeakRssMb(s.pid);
      }
      kill(s.pid, SIGTERM);
      WaitFor(s.pid);
      if (!mapped || peak <= 0) {
        figures[p].problem = programs[p].name + " showed no window (see " + log.string() + ")";
        continue;
      }
      if (run == 0) continue;
      times[p].push_back(std::chrono::duration<double, std::milli>(*mapped - s.started).count());
      rss[p].push_back(peak);
    }
  }
  for (std::size_t p = 0; p < programs.size(); ++p) {
    figures[p].ms = Median(times[p]);
    figures[p].rssMb = Median(rss[p]);
  }
  return figures;
}

namespace {

struct CpuTicks {
  long long own = 0, children = 0;
};

// utime + stime, and cutime + cstime (the children it has waited for),
// from /proc/PID/stat.
std::optional<CpuTicks> ReadCpu(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 2));
  std::vector<std::string> f;
  for (std::string w; fields >> w;) f.push_back(w);
  // Field 3 (the state) comes first here; utime is field 14.
  if (f.size() < 15) return std::nullopt;
  CpuTicks t;
  t.own = std::stoll(f[11]) + std::stoll(f[12]);
  t.children = std::stoll(f[13]) + std::stoll(f[14]);
  return t;
}

}  // namespace

IdleFigures MeasureIdle(XServer& x, const std::string& palette, const fs::path& home,
                        const fs::path& scripts, int seconds) {
  IdleFigures figures;
  WritePaletteHome(home, scripts);
  const fs::path log = home / "idle.log";
  x.Arm();
  const Spawned s = Spawn(palette, {}, ChildEnvironment(x.display(), home), log.string());
  if (!x.WaitMapped(s.pid, 20000)) {
    kill(s.pid, SIGTERM);
    WaitFor(s.pid);
    figures.problem = "the palette showed no window (see " + log.string() + ")";
    return figures;
  }
  // Start-up is over once the window is up and the first ticks have run.
  Sleep(2.0);
  const auto before = ReadCpu(s.pid);
  const auto start = Clock::now();
  Sleep(seconds);
  const auto after = ReadCpu(s.pid);
  figures.seconds = MsSince(start) / 1000.0;
  const bool alive = !HasEnded(s.pid);
  kill(s.pid, SIGTERM);
  WaitFor(s.pid);
  if (!before || !after || !alive) {
    figures.problem = "the palette ended while idle (see " + log.string() + ")";
    return figures;
  }
  const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  figures.ownPercent =
      100.0 * static_cast<double>(after->own - before->own) / tick / figures.seconds;
  figures.childrenPercent =
      100.0 * static_cast<double>(after->children - before->children) / tick / figures.seconds;
  return figures;
}

}  // namespace bench
