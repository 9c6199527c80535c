// Telling the user on standard error what went wrong.
#pragma once

#include <string>

namespace platform {

// Writes "name: text" and a line break on standard error, at once; the
// name is the program's (programname.h).
void ReportError(const std::string& text);

}  // namespace platform
