// Running one of the programs kept with the resources (the host scripts,
// the Apple event sender), and telling the user why one gave nothing.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/process.h"

namespace platform {

// Whether a program's non-zero exit is a failure to report, or its answer
// (the Apple event sender's "not delivered").
enum class NonZeroExit { kFails, kAnswers };

// Runs the program at `path` with `args` within `limit`. Nothing when it is
// missing, no file, not executable, could not be started, was killed (its
// limit, a signal), exited non-zero where that fails, or the program is
// ending; but for the ending, one line on standard error then says why.
std::optional<ProcessResult> RunResourceProgram(const std::string& path,
                                                const std::vector<std::string>& args,
                                                std::chrono::milliseconds limit, NonZeroExit exit);

// "host script <path>: <reason>" on standard error, once per program and
// reason in a run: a script may be asked every second.
void ReportOnce(const std::string& path, const std::string& reason);

}  // namespace platform
