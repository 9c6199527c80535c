// Quits from outside the window system: termination signals and the end of
// the desktop session.
#pragma once

class QSocketNotifier;

namespace platform::qt {

// Such a quit may overtake the window system's news: what it has already
// sent is taken in first, so that a move the user has just made is known
// when the window saves its place. Then the Quit menu item's way.
void QuitFromOutside();

// While it lives, SIGTERM, SIGINT and SIGHUP go the Quit menu item's way:
// the handler writes to a pipe, which the event loop reads, and stops a
// script the application may be waiting on, which no loop would reach.
// Made once the QApplication is.
class QuitSignals {
 public:
  QuitSignals();
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace platform::qt
