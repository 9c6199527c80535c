#include "palette/configuration.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "bridge/bridge.h"
#include "platform/process.h"
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

// Empty where the system does not say; the resources are then looked for
// from the current folder.
std::filesystem::path Executable() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error);
}

// `text` as one word of a POSIX shell, quoted only where it needs it.
std::string ShellWord(const std::string& text) {
  const bool plain = !text.empty() && text.find_first_not_of(
                                          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                          "0123456789/._+-,:@%") == std::string::npos;
  if (plain) return text;
  std::string word = "'";
  for (const char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

// What the build tree holds beside the executable, unless only the installed
// one is there; beside it, to be reported missing, when neither is.
std::string BesideElseInstalled(const std::filesystem::path& beside,
                                const std::filesystem::path& installed,
                                std::filesystem::file_type type) {
  std::error_code error;
  if (std::filesystem::status(beside, error).type() != type &&
      std::filesystem::status(installed.lexically_normal(), error).type() == type) {
    return installed.lexically_normal().string();
  }
  return beside.string();
}

}  // namespace

std::string LocateResources(const char* variable, const std::filesystem::path& executable) {
  if (variable != nullptr && *variable != '\0') return variable;
  const std::filesystem::path folder = executable.parent_path();
  return BesideElseInstalled(folder / "resources", folder / TESSALINE_INSTALLED_RESOURCES,
                             std::filesystem::file_type::directory);
}

std::string LocateKeeper(const std::filesystem::path& executable) {
  const std::filesystem::path folder = executable.parent_path();
  return BesideElseInstalled(folder / "tessaline-keeper", folder / TESSALINE_INSTALLED_KEEPER,
                             std::filesystem::file_type::regular);
}

platform::DisplayOptions DisplayOptions() {
  // The command names this very program, so that it works from any folder.
  const std::filesystem::path executable = Executable();
  return {"Tessaline palette",
          "run it inside a desktop session, or under Xvfb: xvfb-run -a " +
              ShellWord(executable.empty() ? "tessaline" : executable.string()),
          "ja"};
}

void Configure() {
  platform::SetProgramName("tessaline");
  const std::filesystem::path executable = Executable();
  platform::SetResourcesFolder(LocateResources(std::getenv("TESSALINE_RESOURCES"), executable));
  platform::SetKeeperProgram(LocateKeeper(executable));
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
