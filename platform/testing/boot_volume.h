// Test seam: tests, the fuzz targets and the benchmark stand a folder of
// their own in for the boot volume's root, so that nothing they do reaches
// the machine's real folders. Nothing of the palette calls it.
#pragma once

#include <string>

namespace platform {

// What Volume(0) gives; "/" unless a test set it (specialfolders.cpp).
std::string& BootVolumeRoot();

// The empty text restores "/".
inline void SetBootVolumeForTesting(const std::string& root) {
  BootVolumeRoot() = root.empty() ? std::string("/") : root;
}

}  // namespace platform
