// The processes the benchmark starts and the X server it watches them on.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

}  // namespace

void Sleep(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// The child, if it has ended, without reaping it.
bool HasEnded(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

// wait4's ru_maxrss would not do: Linux carries the spawning process's
// high-water mark over the exec into the child's.
double PeakRssMb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

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
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return status;
    }
    Sleep(0.001);
  }
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
                  "-nolisten", "tcp", "-noreset"},
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
  if (xcb_generic_error_t* e = xcb_request_check(
          c, xcb_change_window_attributes_checked(c, root_, XCB_CW_EVENT_MASK, &mask))) {
    free(e);
    *error = "cannot watch the root window of " + display_;
    return false;
  }
  const xcb_query_extension_reply_t* damage = xcb_get_extension_data(c, &xcb_damage_id);
  const xcb_query_extension_reply_t* test = xcb_get_extension_data(c, &xcb_test_id);
  if (!damage || !damage->present || !test || !test->present) {
    *error = "Xvfb on " + display_ + " lacks the DAMAGE or XTEST extension";
    return false;
  }
  damageEvent_ = damage->first_event;
  free(xcb_damage_query_version_reply(
      c, xcb_damage_query_version(c, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
      nullptr));
  return true;
}

void XServer::Flush() { xcb_flush(Connection(connection_)); }

void XServer::Arm() {
  xcb_connection_t* c = Connection(connection_);
  // A round trip: every event the server sent before it has arrived.
  free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  while (xcb_generic_event_t* e = xcb_poll_for_event(c)) free(e);
}

std::optional<XServer::Mapped> XServer::WaitMapped(pid_t pid, int timeoutMs) {
  xcb_connection_t* c = Connection(connection_);
  const auto start = Clock::now();
  for (;;) {
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      std::optional<Mapped> mapped;
      if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
        const auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
        if (!m->override_redirect) mapped = Mapped{Clock::now(), m->window};
      }
      free(e);
      if (mapped) return mapped;
    }
    if (xcb_connection_has_error(c) || HasEnded(pid) || MsSince(start) > timeoutMs) {
      return std::nullopt;
    }
    pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
    poll(&p, 1, 20);
  }
}

std::optional<XServer::Geometry> XServer::GeometryOf(uint32_t window) {
  xcb_connection_t* c = Connection(connection_);
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
  if (!g) return std::nullopt;
  xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
      c, xcb_translate_coordinates(c, window, root_, 0, 0), nullptr);
  std::optional<Geometry> result;
  if (t) result = Geometry{t->dst_x, t->dst_y, g->width, g->height};
  free(g);
  free(t);
  return result;
}

bool XServer::WatchDamage(uint32_t window) {
  xcb_connection_t* c = Connection(connection_);
  UnwatchDamage();
  damage_ = xcb_generate_id(c);
  // Every rectangle drawn is reported, so that the last repaint is seen
  // whatever came before it.
  if (xcb_generic_error_t* e = xcb_request_check(
          c, xcb_damage_create_checked(c, damage_, window,
                                       XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES))) {
    free(e);
    damage_ = 0;
    return false;
  }
  return true;
}

void XServer::UnwatchDamage() {
  if (!damage_) return;
  xcb_damage_destroy(Connection(connection_), damage_);
  damage_ = 0;
  Flush();
}

std::optional<Clock::time_point> XServer::LastDamage(int quietMs, int limitMs) {
  xcb_connection_t* c = Connection(connection_);
  const auto start = Clock::now();
  std::optional<Clock::time_point> last;
  auto lastSeen = start;
  for (;;) {
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      const bool damage = damageEvent_ && (e->response_type & 0x7f) ==
                                              damageEvent_ + XCB_DAMAGE_NOTIFY;
      free(e);
      if (damage) last = lastSeen = Clock::now();
    }
    const double quiet = MsSince(lastSeen);
    if (quiet >= quietMs || MsSince(start) >= limitMs || xcb_connection_has_error(c)) return last;
    pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
    poll(&p, 1, std::max(1, static_cast<int>(quietMs - quiet)));
  }
}

void XServer::MovePointer(int x, int y) {
  xcb_connection_t* c = Connection(connection_);
  xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root_, static_cast<int16_t>(x),
                      static_cast<int16_t>(y), 0);
  Flush();
}

Clock::time_point XServer::Button(bool press) {
  xcb_connection_t* c = Connection(connection_);
  xcb_test_fake_input(c, press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME,
                      XCB_NONE, 0, 0, 0);
  const auto when = Clock::now();
  Flush();
  return when;
}

std::string XServer::Pixels(uint32_t window) {
  xcb_connection_t* c = Connection(connection_);
  const auto g = GeometryOf(window);
  if (!g) return {};
  xcb_get_image_reply_t* image = xcb_get_image_reply(
      c,
      xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, static_cast<uint16_t>(g->width),
                    static_cast<uint16_t>(g->height), ~0u),
      nullptr);
  if (!image) return {};
  std::string pixels(reinterpret_cast<const char*>(xcb_get_image_data(image)),
                     static_cast<std::size_t>(xcb_get_image_data_length(image)));
  free(image);
  return pixels;
}

// ------------------------------------------------------------ the programs

std::vector<std::string> ChildEnvironment(const std::string& display, const fs::path& home,
                                          const std::vector<std::string>& extra) {
  static const char* const kDropped[] = {"DISPLAY",         "WAYLAND_DISPLAY",
                                         "XDG_SESSION_TYPE", "QT_QPA_PLATFORM",
                                         "HOME",            "XDG_CONFIG_HOME",
                                         "TESSALINE_RESOURCES", "XDG_RUNTIME_DIR",
                                         "TESSALINE_SCRIPT_TIMEOUT_MS"};
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
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

void WritePaletteHome(const fs::path& home, const fs::path& scripts, int left, int top) {
  fs::create_directories(home / "config");
  fs::create_directories(home / "runtime");
  fs::permissions(home / "runtime", fs::perms::owner_all, fs::perm_options::replace);
  std::ofstream(home / "config" / "velquor.pref", std::ios::binary | std::ios::trunc)
      << left << "\n"
      << top << "\n150\n200\n"
      << scripts.string() << "\n";
}

}  // namespace bench
