#include "palette/configuration.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <optional>

#include "bridge/bridge.h"
#include "platform/programname.h"
#include "platform/reporterror.h"
#include "platform/resourcesfolder.h"

namespace palette {
namespace {

// A positive decimal integer that fits an int, or nothing.
std::optional<long long> PositiveNumber(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || value <= 0 || value > INT_MAX) return std::nullopt;
  return value;
}

}  // namespace

platform::DisplayOptions DisplayOptions() {
  return {"Tessaline palette",
          "run it inside a desktop session, or under Xvfb: xvfb-run -a build/tessaline", "ja"};
}

void Configure() {
  platform::SetProgramName("tessaline");
  const char* resources = std::getenv("TESSALINE_RESOURCES");
  platform::SetResourcesFolder(resources ? resources : "");
  std::optional<std::chrono::milliseconds> limit;
  const char* timeout = std::getenv("TESSALINE_SCRIPT_TIMEOUT_MS");
  if (auto ms = PositiveNumber(timeout)) {
    limit = std::chrono::milliseconds(*ms);
  } else if (timeout != nullptr && *timeout != '\0') {
    platform::ReportError(
        "TESSALINE_SCRIPT_TIMEOUT_MS is not a whole number of milliseconds from 1 to 2147483647; "
        "it is ignored");
  }
  bridge::InstallTimeLimits(limit);
}

}  // namespace palette
