// What the palette hands the framework at start-up, before anything runs.
#pragma once

#include <filesystem>
#include <string>

#include "platform/display.h"

namespace palette {

// The palette's name, the way to a display when there is none, and Qt's
// own texts in Japanese, as the palette speaks it whatever the locale.
platform::DisplayOptions DisplayOptions();

// The program's name on standard error, "tessaline". Where the host
// scripts are, and their keeper: LocateResources and LocateKeeper from the
// environment and /proc/self/exe.
// How long each may run: the bridge's limits, or
// $TESSALINE_SCRIPT_TIMEOUT_MS, a whole number of milliseconds above 0,
// for every script and for the Apple event; any other value is ignored,
// and said so on standard error. Read afresh on every call.
void Configure();

// The resources folder: `variable` ($TESSALINE_RESOURCES) when it is not
// empty; else "resources" beside `executable`, as in the build tree, unless
// only the installed one, ../share/tessaline/resources from the
// executable's folder, exists.
std::string LocateResources(const char* variable, const std::filesystem::path& executable);

// The keeper program every host script runs under: "tessaline-keeper"
// beside `executable`, as in the build tree, unless only the installed one,
// ../libexec/tessaline/tessaline-keeper from the executable's folder, exists.
std::string LocateKeeper(const std::filesystem::path& executable);

}  // namespace palette
