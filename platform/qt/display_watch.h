// The X connection under the running display: the server going away, and
// a server that does not answer on the way out.
#pragma once

#include <thread>

#include <QtGlobal>

namespace platform::qt {

// Whether the X connection is gone: the server closed it, or it was cut
// because the server did not answer on the way out.
bool DisplayLost();

// The way out has begun (a quit from outside): from now on the X server
// gets a moment to answer, after which the connection is cut, so that
// nothing waits on it any longer. Safe in a signal handler.
void WayOutBegun();

// The display is gone (main thread): the window closes, which saves what
// it keeps, and the process ends at once, since Qt's own shut-down would
// talk to a server that is not there.
[[noreturn]] void EndOnLostDisplay();

// While it lives, and Qt runs on X: a thread watches the connection (its
// descriptor polled for nothing but a hang-up, so that Qt's data stay
// Qt's), stops a host script the application may be waiting on and wakes
// the loop when the server goes; Qt's messages once the connection has
// broken end the program the same way, before Qt's own exit(1). Made once
// the QApplication is.
class DisplayWatch {
 public:
  DisplayWatch();
  ~DisplayWatch();
  DisplayWatch(const DisplayWatch&) = delete;
  DisplayWatch& operator=(const DisplayWatch&) = delete;

 private:
  std::thread thread_;
  QtMessageHandler other_ = nullptr;
};

}  // namespace platform::qt
