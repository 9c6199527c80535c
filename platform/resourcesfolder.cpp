#include "platform/resourcesfolder.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace platform {
namespace {

std::string resourcesFolder;

std::string ExecutableFolder() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return exe.parent_path().string();
}

}  // namespace

void SetResourcesFolder(std::string folder) { resourcesFolder = std::move(folder); }

std::string ResourcesFolder() {
  return resourcesFolder.empty() ? ExecutableFolder() + "/resources" : resourcesFolder;
}

}  // namespace platform
