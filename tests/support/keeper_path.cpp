// Every test program runs its scripts under the keeper this build made, as
// the palette does under the one beside it.
#include "tests/support/keeper_path.h"

#include "platform/process.h"

namespace testsupport {

void UseBuiltKeeper() { platform::SetKeeperProgram(TESSALINE_KEEPER); }

}  // namespace testsupport

namespace {

const bool kKeeperSet = (testsupport::UseBuiltKeeper(), true);

}  // namespace
