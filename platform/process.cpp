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
#include <string>
#include <utility>

#include "platform/keeper_protocol.h"
#include "platform/testing/keeper.h"

namespace platform {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A host script answers a version or an application name; anything past
// this is a runaway and is read only to keep the pipe flowing.
constexpr std::size_t kOutputCap = std::size_t{1} << 20;

using keeper::kStopSignal;

// The keeper program, set at start-up.
std::string& KeeperPath() {
  static std::string path;
  return path;
}

// Touched from a signal handler: lock-free atomics only.
std::atomic<bool> scriptsStopped{false};
std::atomic<int> runningKeeper{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

void (*beforeReap)(int keeper) = nullptr;

}  // namespace

void StopScripts() {
  scriptsStopped.store(true);
  // Whichever of this and RunningScript's constructor comes second sees
  // the other's store, so a script that is just starting is stopped too.
  const int keeper = runningKeeper.load();
  if (keeper > 0) ::kill(keeper, kStopSignal);
}

bool ScriptsStopped() { return scriptsStopped.load(); }
void ResumeScripts() { scriptsStopped.store(false); }

RunningScript::RunningScript(int keeper) {
  runningKeeper.store(keeper);
  if (keeper > 0 && scriptsStopped.load()) ::kill(keeper, kStopSignal);
}

RunningScript::~RunningScript() { runningKeeper.store(0); }

void SetKeeperProgram(std::string path) { KeeperPath() = std::move(path); }
const std::string& KeeperProgram() { return KeeperPath(); }

namespace seam {
void SetBeforeReap(void (*hook)(int keeper)) { beforeReap = hook; }
int RegisteredKeeper() { return runningKeeper.load(); }
}  // namespace seam

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

// ---- The runner's side.

// A started keeper: its pid, the read ends of the script's standard output
// and of the start's error pipe.
struct Child {
  pid_t pid = -1;
  int output = -1;
  int error = -1;
};

// A pipe whose ends are not among the standard three, which the script's
// own take.
bool Pipe(int fds[2]) {
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  for (int i = 0; i < 2; ++i) {
    if (fds[i] > STDERR_FILENO) continue;
    const int moved = ::fcntl(fds[i], F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fds[i]);
    fds[i] = moved;
  }
  if (fds[0] >= 0 && fds[1] >= 0) return true;
  for (int i = 0; i < 2; ++i) {
    if (fds[i] >= 0) ::close(fds[i]);
  }
  return false;
}

// Spawns the keeper, which starts `program` with `args`, byte for byte.
// Answers 0, or the errno of a failed start of the keeper.
int StartKeeper(const std::string& program, const std::vector<std::string>& args, Child& child) {
  std::vector<std::string> keeperArgs;
  keeperArgs.reserve(args.size() + 2);
  keeperArgs.push_back(std::to_string(::getpid()));
  keeperArgs.push_back(program);
  keeperArgs.insert(keeperArgs.end(), args.begin(), args.end());
  std::vector<char*> argv = Argv(KeeperPath(), keeperArgs);
  int output[2], error[2];
  if (!Pipe(output)) return errno;
  if (!Pipe(error)) {
    const int saved = errno;
    ::close(output[0]);
    ::close(output[1]);
    return saved;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, error[1], keeper::kErrorFd);
  // Every signal blocked and at its default: the keeper sets its own.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &all);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int spawnError =
      ::posix_spawn(&pid, KeeperPath().c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(output[1]);
  ::close(error[1]);
  if (spawnError != 0) {
    ::close(output[0]);
    ::close(error[0]);
    return spawnError;
  }
  // The final reading after the end takes only what is there.
  ::fcntl(output[0], F_SETFL, ::fcntl(output[0], F_GETFL) | O_NONBLOCK);
  child.pid = pid;
  child.output = output[0];
  child.error = error[0];
  return 0;
}

// The errno of a failed start, once the script has been exec'd or failed
// to be; 0 when it runs.
int AwaitStart(Child& child) {
  int error = 0;
  ssize_t got;
  while ((got = ::read(child.error, &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(child.error);
  child.error = -1;
  return got == static_cast<ssize_t>(sizeof error) ? error : 0;
}

// Keeps the first kOutputCap bytes; the rest is read and dropped, so that
// the script never stalls on a full pipe and a flood is never held.
void Keep(ProcessResult& result, const char* data, std::size_t size) {
  std::string& output = result.output;
  const std::size_t kept = output.size() < kOutputCap ? std::min(size, kOutputCap - output.size()) : 0;
  output.append(data, kept);
  if (kept < size) result.outputCut = true;
}

// Reads what the pipe holds; false once it is at its end (every writer
// gone) or broken.
bool ReadAvailable(int fd, ProcessResult& result, std::size_t atMost = SIZE_MAX) {
  char buffer[64 * 1024];
  while (atMost > 0) {
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, atMost));
    if (n > 0) {
      Keep(result, buffer, static_cast<std::size_t>(n));
      atMost -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && errno == EAGAIN;
  }
  return true;
}

// Whether the keeper has ended; it is left unreaped, so that its pid stays
// ours until the registration is let go.
bool Ended(pid_t pid) {
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
    return info.si_pid == pid;
  }
  // ECHILD: something else reaped it (SIGCHLD ignored); it has ended all
  // the same.
  return errno == ECHILD;
}

// The one place that waits on a running keeper: until it ends or the
// deadline comes, reading the script's output as it arrives. True when it
// ended.
bool AwaitEnd(Child& child, Clock::time_point deadline, ProcessResult& result) {
  // Readable once the keeper has ended; without it (an old kernel) the
  // wait looks again every few milliseconds.
  const int endedFd = static_cast<int>(::syscall(SYS_pidfd_open, child.pid, 0));
  struct CloseOnReturn {
    int fd;
    ~CloseOnReturn() {
      if (fd >= 0) ::close(fd);
    }
  } closeEnded{endedFd};

  for (;;) {
    if (Ended(child.pid)) {
      // What the script wrote before it ended is in the pipe; something it
      // started may hold the pipe open and write on, so only that much is
      // taken.
      int pending = 0;
      if (child.output >= 0 && ::ioctl(child.output, FIONREAD, &pending) == 0 && pending > 0) {
        ReadAvailable(child.output, result, static_cast<std::size_t>(pending));
      }
      return true;
    }
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;

    pollfd watched[] = {{child.output, POLLIN, 0}, {endedFd, POLLIN, 0}};
    const long long slice = endedFd >= 0 ? left : std::min<long long>(left, 10);
    if (::poll(watched, 2, static_cast<int>(std::min<long long>(slice, INT_MAX))) < 0 &&
        errno != EINTR) {
      return false;
    }
    if (child.output >= 0 && (watched[0].revents & (POLLIN | POLLHUP | POLLERR)) &&
        !ReadAvailable(child.output, result)) {
      // Its output is closed; it may still run. Only its end is awaited now.
      ::close(child.output);
      child.output = -1;
    }
  }
}

// Reaps the keeper, which has ended or is ending: its status, if it was
// ours to reap.
std::optional<int> Reap(pid_t pid) {
  if (beforeReap) beforeReap(pid);
  int status = 0;
  pid_t reaped;
  while ((reaped = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  if (reaped != pid) return std::nullopt;
  return status;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         milliseconds limit) {
  ProcessResult result;
  if (ScriptsStopped()) return result;
  const auto deadline = Clock::now() + limit;
  Child child;
  result.startError = StartKeeper(program, args, child);
  if (result.startError != 0) {
    result.keeperFailed = true;
    return result;
  }

  bool ended = false;
  {
    // A quit signal stops the keeper while this is held; it is let go
    // before the keeper is reaped, while the pid is still the keeper's.
    RunningScript running(child.pid);
    result.startError = AwaitStart(child);
    if (result.startError == 0) {
      result.started = true;
      ended = AwaitEnd(child, deadline, result);
      if (!ended || ScriptsStopped()) ::kill(child.pid, kStopSignal);
    }
  }
  // Past the limit or stopped, this waits while the keeper ends every
  // descendant of the script.
  const std::optional<int> status = Reap(child.pid);
  if (child.output >= 0) ::close(child.output);
  if (!result.started || !ended || ScriptsStopped()) return result;
  result.finishedInTime = true;
  if (status && WIFEXITED(*status)) result.exitCode = WEXITSTATUS(*status);
  if (status && WIFSIGNALED(*status)) result.endSignal = WTERMSIG(*status);
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
