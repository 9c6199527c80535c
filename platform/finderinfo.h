// The Finder-info extended attribute, where a file keeps its Mac type.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace platform {

// The Finder-info attribute as other systems (Samba, netatalk, macOS over
// NFS) keep it on Linux: 32 bytes, the file type in the first four.
inline constexpr char kFinderInfo[] = "user.com.apple.FinderInfo";
inline constexpr std::size_t kFinderInfoSize = 32;
using FinderInfo = std::array<char, kFinderInfoSize>;

// Reads the item's Finder info; false when it has none.
bool ReadFinderInfo(const std::string& path, FinderInfo& info);
bool ReadFinderInfo(int fd, FinderInfo& info);

FinderInfo FinderInfoForType(const std::string& type);

// Mac types are four bytes; a shorter one is padded with blanks the way the
// classic system wrote them ("PDF "), a longer one cut.
std::string NormalisedMacType(const std::string& type);

}  // namespace platform
