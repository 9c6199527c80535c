// Quits from outside the window system: termination signals, the end of
// the desktop session and the display going away.
#pragma once

class QSocketNotifier;

namespace platform::qt {

// Such a quit may overtake the window system's news: what it has already
// sent is taken in first, so that a move the user has just made is known
// when the window saves its place, as long as the server answers in a
// moment. Then the Quit menu item's way; without a display, the end.
void QuitFromOutside();

// Asks for such a quit from any thread or a signal handler: stops a script
// the application may be waiting on, which no loop would reach, and wakes
// the loop.
void AskToQuitFromOutside();

// While it lives, SIGTERM, SIGINT and SIGHUP go the Quit menu item's way:
// the handler writes to a pipe, which the event loop reads. What cannot be
// installed is said on standard error. Made once the QApplication is.
class QuitSignals {
 public:
  QuitSignals();
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

 private:
  QSocketNotifier* notifier_ = nullptr;
  bool installed_[3] = {};
};

}  // namespace platform::qt
