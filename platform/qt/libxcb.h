// The few libxcb calls the display makes itself, found at run time: Qt's
// xcb plugin brings libxcb, which the palette does not link.
#pragma once

namespace platform::qt {

struct Libxcb {
  void* (*connect)(const char* display, int* screen);
  void (*disconnect)(void* connection);
  int (*hasError)(void* connection);
  int (*fileDescriptor)(void* connection);
  int (*parseDisplay)(const char* name, char** host, int* display, int* screen);
  const void* (*getSetup)(void* connection);
  int (*setupRootsLength)(const void* setup);
};

// libxcb's calls, or nullptr where it cannot be had; `load`: open it when
// no one has yet.
const Libxcb* GetLibxcb(bool load);

// xcb's XCB_CONN_CLOSED_INVALID_SCREEN: the server has no such screen.
inline constexpr int kXcbInvalidScreen = 6;

}  // namespace platform::qt
