#include "tests/support/processes.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

namespace testsupport {
namespace {

std::string ReadProc(pid_t pid, const char* entry) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + entry, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ProcStat {
  char state = '?';
  pid_t parent = 0;
};

std::optional<ProcStat> StatOf(pid_t pid) {
  // The name in parentheses may hold anything; the fields follow the last ')'.
  const std::string text = ReadProc(pid, "stat");
  const auto close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  ProcStat stat;
  if (!(fields >> stat.state >> stat.parent)) return std::nullopt;
  return stat;
}

}  // namespace

std::vector<pid_t> PidsIn(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<pid_t> pids;
  for (long pid = 0; in >> pid;) pids.push_back(static_cast<pid_t>(pid));
  return pids;
}

bool Running(pid_t pid) {
  if (pid <= 0 || ::kill(pid, 0) != 0) return false;
  const std::optional<ProcStat> stat = StatOf(pid);
  return stat && stat->state != 'Z';
}

bool Gone(pid_t pid) {
  if (pid <= 0) return false;
  for (int i = 0; i < 500; ++i) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
    const std::optional<ProcStat> stat = StatOf(pid);
    if (stat && stat->state == 'Z' && stat->parent == ::getpid()) {
      ::waitpid(pid, nullptr, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::string command = ReadProc(pid, "cmdline");
  for (char& c : command) {
    if (c == '\0') c = ' ';
  }
  if (command == std::string(kSleepForEver) + " ") ::kill(pid, SIGKILL);
  return false;
}

}  // namespace testsupport
