// Reaching an X display before Qt tries to.
#pragma once

#include <dlfcn.h>

#include <chrono>
#include <thread>

namespace platform::qt {

// Qt ends the process with an abort when its platform plugin cannot reach
// the display, so an X display that will not answer is found beforehand,
// with libxcb (which the xcb plugin loads anyway) opened by hand. The
// connection is held until Qt has made its own: a server that has just
// seen a client go may refuse the next one for a moment (Xvfb does, a few
// times in a hundred), and Qt's must not be that next one.
class X11Probe {
 public:
  enum class Result { kReachable, kUnreachable, kNoSuchScreen, kUnknown };

  X11Probe() = default;
  X11Probe(const X11Probe&) = delete;
  X11Probe& operator=(const X11Probe&) = delete;
  ~X11Probe() {
    if (connection_) disconnect_(connection_);
    if (xcb_) dlclose(xcb_);
  }

  Result Connect(const char* display) {
    xcb_ = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!xcb_) return Result::kUnknown;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    auto connect = reinterpret_cast<Connect>(dlsym(xcb_, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(xcb_, "xcb_connection_has_error"));
    disconnect_ = reinterpret_cast<Disconnect>(dlsym(xcb_, "xcb_disconnect"));
    if (!connect || !hasError || !disconnect_) return Result::kUnknown;
    // xcb's XCB_CONN_CLOSED_INVALID_SCREEN: the server has no such screen.
    constexpr int kInvalidScreen = 6;
    // A refusal is tried again after a pause that doubles: 310 ms in all
    // before a display counts as unreachable.
    constexpr int kAttempts = 6;
    for (int attempt = 1;; ++attempt) {
      void* c = connect(display, &screen_);
      const int error = hasError(c);
      if (!error) {
        connection_ = c;
        return Result::kReachable;
      }
      disconnect_(c);  // also frees a connection in error
      if (error == kInvalidScreen) return Result::kNoSuchScreen;
      if (attempt == kAttempts) return Result::kUnreachable;
      std::this_thread::sleep_for(std::chrono::milliseconds(10 << (attempt - 1)));
    }
  }

  int screen() const { return screen_; }

 private:
  using Disconnect = void (*)(void*);
  void* xcb_ = nullptr;
  void* connection_ = nullptr;
  Disconnect disconnect_ = nullptr;
  int screen_ = 0;
};

}  // namespace platform::qt
