#include "platform/qt/libxcb.h"

#include <dlfcn.h>

namespace platform::qt {
namespace {

template <typename F>
bool Find(void* library, const char* name, F& f) {
  f = reinterpret_cast<F>(dlsym(library, name));
  return f != nullptr;
}

bool Open(Libxcb& x, bool load) {
  void* library = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL | (load ? 0 : RTLD_NOLOAD));
  if (!library) return false;
  return Find(library, "xcb_connect", x.connect) && Find(library, "xcb_disconnect", x.disconnect) &&
         Find(library, "xcb_connection_has_error", x.hasError) &&
         Find(library, "xcb_get_file_descriptor", x.fileDescriptor) &&
         Find(library, "xcb_parse_display", x.parseDisplay) &&
         Find(library, "xcb_get_setup", x.getSetup) &&
         Find(library, "xcb_setup_roots_length", x.setupRootsLength);
}

}  // namespace

const Libxcb* GetLibxcb(bool load) {
  // Kept open for the process's life, as the xcb plugin keeps it.
  static Libxcb x{};
  static bool found = false;
  if (!found) found = Open(x, load);
  return found ? &x : nullptr;
}

}  // namespace platform::qt
