#include "platform/qt/display_watch.h"

#include <QGuiApplication>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>

#include "platform/process.h"
#include "platform/reporterror.h"
#include "platform/qt/libxcb.h"
#include "platform/qt/quit_signals.h"
#include "platform/runtime.h"

namespace platform::qt {
namespace {

using Clock = std::chrono::steady_clock;

// How long the server has to answer once the way out has begun: the
// window's move just before a quit is taken in well within it.
constexpr std::chrono::milliseconds kAnswerLimit(500);

std::atomic<bool> gLost{false};
const Libxcb* gXcb = nullptr;
void* gConnection = nullptr;
int gWake[2] = {-1, -1};
std::thread::id gMainThread;
QtMessageHandler gOtherHandler = nullptr;

void Watch(int xfd, int wake) {
  std::optional<Clock::time_point> deadline;
  for (;;) {
    pollfd fds[2] = {{xfd, 0, 0}, {wake, POLLIN, 0}};
    int timeout = -1;
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
      timeout = static_cast<int>(std::max<long long>(0, left.count()));
    }
    const int n = poll(fds, 2, timeout);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (n == 0) {
      // The server did not answer in time: reading is shut, so that every
      // wait on it in Qt ends with the connection in error. Writing stays
      // open, so that no write raises SIGPIPE.
      gLost = true;
      shutdown(xfd, SHUT_RD);
      AskToQuitFromOutside();
      return;
    }
    if (fds[1].revents & POLLIN) {
      char bytes[16];
      for (ssize_t k; (k = read(wake, bytes, sizeof bytes)) > 0;) {
        if (std::memchr(bytes, 's', static_cast<std::size_t>(k))) return;
        if (!deadline) deadline = Clock::now() + kAnswerLimit;
      }
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      gLost = true;
      AskToQuitFromOutside();
      return;
    }
  }
}

// Qt's exit(1) on a broken connection follows this warning: ending here first saves the windows.
void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (gOtherHandler) gOtherHandler(type, context, message);
  if (std::this_thread::get_id() == gMainThread && DisplayLost()) EndOnLostDisplay();
}

}  // namespace

bool DisplayLost() {
  return gLost || (gConnection && gXcb->hasError(gConnection) != 0);
}

void WayOutBegun() {
  if (gWake[1] < 0) return;
  const int saved = errno;
  const char byte = 'q';
  [[maybe_unused]] ssize_t n = write(gWake[1], &byte, 1);
  errno = saved;
}

void EndOnLostDisplay() {
  // Once: a message Qt gives while the window closes comes after the save.
  static bool ending = false;
  if (!ending) {
    ending = true;
    // A write to a server that is gone, before xcb has seen it go, fails
    // instead of ending the process; nothing is started from here on.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    StopScripts();
    DeliverEvent(QuitAction);
  }
  EndNow();
}

DisplayWatch::DisplayWatch() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->connection()) return;
  gXcb = GetLibxcb(/*load=*/false);
  if (!gXcb) return;
  gConnection = x11->connection();
  gMainThread = std::this_thread::get_id();
  gLost = false;
  if (pipe2(gWake, O_CLOEXEC | O_NONBLOCK) != 0) {
    ReportError(std::string("the X connection is not watched (") + std::strerror(errno) +
                "): a host script then holds the program up should the display go");
    gWake[0] = gWake[1] = -1;
  } else {
    try {
      thread_ = std::thread(Watch, gXcb->fileDescriptor(gConnection), gWake[0]);
    } catch (const std::system_error& e) {
      ReportError(std::string("the X connection is not watched (") + e.what() +
                  "): a host script then holds the program up should the display go");
    }
  }
  gOtherHandler = qInstallMessageHandler(OnQtMessage);
  other_ = gOtherHandler;
}

DisplayWatch::~DisplayWatch() {
  if (!gConnection) return;
  qInstallMessageHandler(other_);
  if (thread_.joinable()) {
    const char byte = 's';
    [[maybe_unused]] ssize_t n = write(gWake[1], &byte, 1);
    thread_.join();
  }
  for (int& fd : gWake) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  gConnection = nullptr;
  gXcb = nullptr;
}

}  // namespace platform::qt
