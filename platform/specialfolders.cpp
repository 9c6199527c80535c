#include "platform/specialfolders.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/testing/boot_volume.h"  // declares the root, which tests may set

namespace platform {
namespace {

// Makes each missing folder of the path, private to the user as the XDG
// rules ask of a configuration folder (create_directories would make them
// as the umask has it).
void MakePath(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return;
  std::filesystem::path made = path.root_path();
  for (const std::filesystem::path& step : path.relative_path()) {
    made /= step;
    if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) return;
  }
}

}  // namespace

Ref<FolderItem> PreferencesFolder() {
  Ref<FolderItem> folder;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') {
    folder = FolderItem::FromPath(config);
  } else {
    // The real home is never guessed from the password file: with no HOME
    // there is no preferences folder to write into.
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') folder = FolderItem::FromPath(std::string(home) + "/.config");
  }
  if (folder) MakePath(folder->path());
  return folder;
}

std::string& BootVolumeRoot() {
  static std::string root = "/";
  return root;
}

Ref<FolderItem> Volume(int32_t index) {
  if (index != 0) return nullptr;
  return FolderItem::FromPath(BootVolumeRoot());
}
}  // namespace platform
