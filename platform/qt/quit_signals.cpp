#include "platform/qt/quit_signals.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/process.h"
#include "platform/runtime.h"

namespace platform::qt {
namespace {

int gSignalPipe[2] = {-1, -1};
constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnQuitSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
  StopScripts();
  errno = saved;
}

}  // namespace

void QuitFromOutside() {
  QGuiApplication::sync();
  DeliverEvent(QuitAction);
}

QuitSignals::QuitSignals() {
  if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
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
  for (int sig : kQuitSignals) sigaction(sig, &action, nullptr);
}

QuitSignals::~QuitSignals() {
  for (int sig : kQuitSignals) std::signal(sig, SIG_DFL);
  delete notifier_;
  for (int& fd : gSignalPipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace platform::qt
