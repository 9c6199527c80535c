// The application's resources folder, which holds the host scripts and the
// Apple event sender.
#pragma once

#include <string>

namespace platform {

// Set at start-up. The empty text, the default, stands for "resources"
// beside the executable.
void SetResourcesFolder(std::string folder);
std::string ResourcesFolder();

}  // namespace platform
