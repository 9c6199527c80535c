// The keeper this build made, for test programs, which do not stand beside it.
#pragma once

namespace testsupport {

// Every run from now on goes through the build's keeper (also after a
// palette::Configure, which looks beside the running program).
void UseBuiltKeeper();

}  // namespace testsupport
