#include "platform/reporterror.h"

#include <cstdio>

#include "platform/programname.h"

namespace platform {

void ReportError(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", ProgramName().c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace platform
