#include "platform/qt/x11_probe.h"

#include "platform/qt/libxcb.h"

namespace platform::qt {

X11Reach ProbeX11(const char* display, int* screen) {
  const Libxcb* x = GetLibxcb(/*load=*/true);
  if (!x) return X11Reach::kUnknown;
  void* c = x->connect(display, screen);
  const int error = x->hasError(c);
  x->disconnect(c);  // also frees a connection in error
  if (!error) return X11Reach::kReachable;
  return error == kXcbInvalidScreen ? X11Reach::kNoSuchScreen : X11Reach::kUnreachable;
}

}  // namespace platform::qt
