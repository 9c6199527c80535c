// Permission checks that hold for root too.
#pragma once

#include <dirent.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

namespace testsupport {

// Root passes every permission check, so a test that needs a denial lowers
// the capabilities that bypass them, on its own thread, while this lives.
// Deny() tells whether the file system now says no.
class OrdinaryPermissions {
 public:
  OrdinaryPermissions() {
    if (::geteuid() != 0) return;
    if (::syscall(SYS_capget, &header_, saved_) != 0) return;
    __user_cap_data_struct lowered[2];
    std::memcpy(lowered, saved_, sizeof lowered);
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
      lowered[cap / 32].effective &= ~(1u << (cap % 32));
    }
    lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
  }
  ~OrdinaryPermissions() { Restore(); }
  OrdinaryPermissions(const OrdinaryPermissions&) = delete;
  OrdinaryPermissions& operator=(const OrdinaryPermissions&) = delete;

  void Restore() {
    if (lowered_) ::syscall(SYS_capset, &header_, saved_);
    lowered_ = false;
  }

  // A folder with no permissions cannot be listed.
  static bool Deny(const std::filesystem::path& scratch) {
    namespace fs = std::filesystem;
    fs::create_directories(scratch);
    fs::permissions(scratch, fs::perms::none);
    DIR* dir = ::opendir(scratch.c_str());
    if (dir) ::closedir(dir);
    fs::permissions(scratch, fs::perms::owner_all);
    fs::remove(scratch);
    return dir == nullptr;
  }

 private:
  __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct saved_[2]{};
  bool lowered_ = false;
};

}  // namespace testsupport
