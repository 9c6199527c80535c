// What the palette hands the framework at start-up, before anything runs.
#pragma once

namespace palette {

// Where the host scripts are: $TESSALINE_RESOURCES when it is set, else
// "resources" beside the executable. How long each may run: the bridge's
// limits, or $TESSALINE_SCRIPT_TIMEOUT_MS, a whole number of milliseconds
// above 0, for every script and for the Apple event. Read afresh on every
// call.
void Configure();

}  // namespace palette
