#include "platform/programname.h"

#include <errno.h>

#include <cstdio>
#include <utility>

namespace platform {
namespace {

std::string& ProgramName() {
  static std::string name = program_invocation_short_name;
  return name;
}

}  // namespace

void SetProgramName(std::string name) { ProgramName() = std::move(name); }

void ReportError(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", ProgramName().c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace platform
