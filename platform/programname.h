// The program's name, which heads each line it writes for the user on
// standard error ("name: what happened").
#pragma once

#include <string>

namespace platform {

// Set at start-up; until then, the name the program was started by.
void SetProgramName(std::string name);
const std::string& ProgramName();

}  // namespace platform
