#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <optional>

namespace platform {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A host script answers a version or an application name; anything past
// this is a runaway and is read only to keep the pipe flowing.
constexpr std::size_t kOutputCap = std::size_t{1} << 20;

// Touched from a signal handler: lock-free atomics only.
std::atomic<bool> scriptsStopped{false};
std::atomic<int> runningGroup{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

}  // namespace

void StopScripts() {
  scriptsStopped.store(true);
  // Whichever of this and RunningScript's constructor comes second sees
  // the other's store, so a script that is just starting is killed too.
  const int group = runningGroup.load();
  if (group > 0) ::kill(-group, SIGKILL);
}

bool ScriptsStopped() { return scriptsStopped.load(); }
void ResumeScripts() { scriptsStopped.store(false); }

RunningScript::RunningScript(int group) {
  runningGroup.store(group);
  if (group > 0 && scriptsStopped.load()) ::kill(-group, SIGKILL);
}

RunningScript::~RunningScript() { runningGroup.store(0); }

namespace {

// The program and its arguments as exec takes them; the texts' own bytes.
std::vector<char*> Argv(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// A started child: its id, and the read end of its standard output.
struct Child {
  pid_t pid = -1;
  int output = -1;
};

// Starts `program` with `args` as its arguments, byte for byte: no shell,
// no conversion of any text. Its standard input is /dev/null (a script
// that reads sees end of file), its output goes to the pipe, its standard
// error is ours. It runs in a process group of its own, so that it can be
// killed together with whatever it starts, with the signals as a fresh
// process has them. Answers 0, or the errno of the failed start.
int StartChild(const std::string& program, const std::vector<std::string>& args, Child& child) {
  std::vector<char*> argv = Argv(program, args);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return errno;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  const int error =
      ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (error != 0) {
    ::close(pipeFds[0]);
    return error;
  }
  // The final reading after the child's end takes only what is there.
  ::fcntl(pipeFds[0], F_SETFL, ::fcntl(pipeFds[0], F_GETFL) | O_NONBLOCK);
  child.pid = pid;
  child.output = pipeFds[0];
  return 0;
}

// Keeps the first kOutputCap bytes; the rest is read and dropped, so that
// the child never stalls on a full pipe and a flood is never held.
void Keep(std::string& output, const char* data, std::size_t size) {
  if (output.size() < kOutputCap) output.append(data, std::min(size, kOutputCap - output.size()));
}

// Reads what the pipe holds; false once it is at its end (every writer
// gone) or broken.
bool ReadAvailable(int fd, std::string& output, std::size_t atMost = SIZE_MAX) {
  char buffer[64 * 1024];
  while (atMost > 0) {
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, atMost));
    if (n > 0) {
      Keep(output, buffer, static_cast<std::size_t>(n));
      atMost -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && errno == EAGAIN;
  }
  return true;
}

// How a child's wait ended.
struct Ending {
  bool ended = false;         // false: the deadline came first; it still runs
  std::optional<int> status;  // its wait status, when it was ours to reap
};

// The one place that waits on a running child: until it ends or the
// deadline comes, reading its output as it arrives.
Ending AwaitEnd(Child& child, Clock::time_point deadline, std::string& output) {
  // Readable once the child has ended; without it (an old kernel) the wait
  // looks again every few milliseconds.
  const int endedFd = static_cast<int>(::syscall(SYS_pidfd_open, child.pid, 0));
  struct CloseOnReturn {
    int fd;
    ~CloseOnReturn() {
      if (fd >= 0) ::close(fd);
    }
  } closeEnded{endedFd};

  for (;;) {
    int status = 0;
    const pid_t reaped = ::waitpid(child.pid, &status, WNOHANG);
    // ECHILD: something else reaped it (SIGCHLD ignored); it has ended all
    // the same.
    if (reaped == child.pid || (reaped < 0 && errno == ECHILD)) {
      // What it wrote before it ended is in the pipe; something it started
      // may hold the pipe open and write on, so only that much is taken.
      int pending = 0;
      if (child.output >= 0 && ::ioctl(child.output, FIONREAD, &pending) == 0 && pending > 0) {
        ReadAvailable(child.output, output, static_cast<std::size_t>(pending));
      }
      child.pid = -1;
      Ending ending{true, std::nullopt};
      if (reaped > 0) ending.status = status;
      return ending;
    }
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return {};

    pollfd watched[] = {{child.output, POLLIN, 0}, {endedFd, POLLIN, 0}};
    const long long slice = endedFd >= 0 ? left : std::min<long long>(left, 10);
    if (::poll(watched, 2, static_cast<int>(std::min<long long>(slice, INT_MAX))) < 0 &&
        errno != EINTR) {
      return {};
    }
    if (child.output >= 0 && (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) &&
        !ReadAvailable(child.output, output)) {
      // Its output is closed; it may still run. Only its end is awaited now.
      ::close(child.output);
      child.output = -1;
    }
  }
}

// Kills the child and everything in its group, and reaps it: no zombie
// and no stray process outlives the call.
void KillAndReap(Child& child) {
  ::kill(-child.pid, SIGKILL);
  ::kill(child.pid, SIGKILL);  // also when it left its group
  int status = 0;
  while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  child.pid = -1;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         milliseconds limit) {
  ProcessResult result;
  if (ScriptsStopped()) return result;
  const auto deadline = Clock::now() + limit;
  Child child;
  result.startError = StartChild(program, args, child);
  if (result.startError != 0) return result;
  result.started = true;

  Ending ending;
  {
    // A quit signal kills the group while it runs; the wait then sees it end.
    RunningScript running(child.pid);
    ending = AwaitEnd(child, deadline, result.output);
  }
  if (child.output >= 0) ::close(child.output);
  if (!ending.ended || ScriptsStopped()) {
    if (child.pid > 0) KillAndReap(child);
    return result;
  }
  result.finishedInTime = true;
  if (ending.status && WIFEXITED(*ending.status)) result.exitCode = WEXITSTATUS(*ending.status);
  if (ending.status && WIFSIGNALED(*ending.status)) result.endSignal = WTERMSIG(*ending.status);
  return result;
}

void StartDetached(const std::string& program, const std::vector<std::string>& args) {
  // Everything is made before the fork: between fork and exec only calls
  // that are safe in the child of a threaded process are made.
  std::vector<char*> argv = Argv(program, args);
  char** const env = environ;

  // Forked twice: the middle process ends at once, so the program is
  // adopted by the system and never waits on us to be reaped.
  const pid_t middle = ::fork();
  if (middle < 0) return;
  if (middle == 0) {
    ::setsid();
    if (::fork() == 0) {
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      struct sigaction defaults {};
      defaults.sa_handler = SIG_DFL;
      for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &defaults, nullptr);
      ::execve(program.c_str(), argv.data(), env);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace platform
