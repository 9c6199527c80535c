#include "platform/finderinfo.h"

#include <sys/types.h>
#include <sys/xattr.h>

#include <algorithm>

namespace platform {

bool ReadFinderInfo(const std::string& path, FinderInfo& info) {
  info.fill(0);
  const ssize_t n = ::getxattr(path.c_str(), kFinderInfo, info.data(), info.size());
  return n > 0;
}

bool ReadFinderInfo(int fd, FinderInfo& info) {
  info.fill(0);
  return ::fgetxattr(fd, kFinderInfo, info.data(), info.size()) > 0;
}

FinderInfo FinderInfoForType(const std::string& type) {
  FinderInfo info{};
  std::copy_n(type.begin(), std::min<std::size_t>(type.size(), 4), info.begin());
  return info;
}

std::string NormalisedMacType(const std::string& type) {
  if (type.empty()) return {};
  std::string four = type.substr(0, 4);
  four.resize(4, ' ');
  return four;
}

}  // namespace platform
