// Whether the processes a test's scripts started are gone.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <vector>

namespace testsupport {

// A sh command that never ends by itself.
inline constexpr const char* kSleepForEver = "sleep 2147483647";

// The pids written to `file`, one a line; none when there is no file.
std::vector<pid_t> PidsIn(const std::filesystem::path& file);

// Whether `pid` is a live process: there, and not a zombie.
bool Running(pid_t pid);

// Whether `pid` is gone: no process holds it, not even a zombie. A zombie
// of ours fails at once, since no one else will reap it; an orphan is given
// a few seconds to end and be reaped by the system. One that still sleeps
// for ever is then killed, so that a failing test leaves nothing behind.
bool Gone(pid_t pid);

}  // namespace testsupport
