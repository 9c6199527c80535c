// Test seam: what the process runner shows its tests of its keeper, and nothing else uses.
#pragma once

namespace platform::seam {

// Called with the keeper's pid just before RunProcess reaps it.
void SetBeforeReap(void (*hook)(int keeper));
// The keeper StopScripts would signal now; 0 for none.
int RegisteredKeeper();

}  // namespace platform::seam
