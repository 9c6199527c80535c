#include "platform/qt/quit_signals.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "platform/process.h"
#include "platform/reporterror.h"
#include "platform/qt/display_watch.h"
#include "platform/runtime.h"

namespace platform::qt {
namespace {

int gSignalPipe[2] = {-1, -1};
struct QuitSignal {
  int number;
  const char* name;
};
constexpr QuitSignal kQuitSignals[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};

extern "C" void OnQuitSignal(int) {
  const int saved = errno;
  AskToQuitFromOutside();
  errno = saved;
}

}  // namespace

void AskToQuitFromOutside() {
  const char byte = 1;
  if (gSignalPipe[1] >= 0) {
    [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
  }
  StopScripts();
  WayOutBegun();
}

void QuitFromOutside() {
  // The loops the round trip runs may hear a second signal.
  static bool inProgress = false;
  if (inProgress) return;
  inProgress = true;
  WayOutBegun();
  if (!DisplayLost()) QGuiApplication::sync();
  // Qt's shut-down stops its event reader through a round trip, which a
  // server that is gone or cut off never answers: the end comes after the save.
  if (DisplayLost()) EndOnLostDisplay();
  DeliverEvent(QuitAction);
  inProgress = false;
}

QuitSignals::QuitSignals() {
  if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    ReportError(std::string("SIGTERM, SIGINT and SIGHUP will end the program without closing its "
                            "windows: no pipe for them (") +
                std::strerror(errno) + ")");
    gSignalPipe[0] = gSignalPipe[1] = -1;
    return;
  }
  notifier_ = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [] {
    char buffer[64];
    while (read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
    }
    QuitFromOutside();
  });
  struct sigaction action = {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kQuitSignals); ++i) {
    installed_[i] = sigaction(kQuitSignals[i].number, &action, nullptr) == 0;
    if (!installed_[i]) {
      ReportError(std::string(kQuitSignals[i].name) +
                  " will end the program without closing its windows: its handler could not be "
                  "installed (" + std::strerror(errno) + ")");
    }
  }
}

QuitSignals::~QuitSignals() {
  for (std::size_t i = 0; i < std::size(kQuitSignals); ++i) {
    if (installed_[i]) std::signal(kQuitSignals[i].number, SIG_DFL);
  }
  delete notifier_;
  for (int& fd : gSignalPipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace platform::qt
