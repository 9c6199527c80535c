#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/testing/keeper.h"

namespace platform {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A host script answers a version or an application name; anything past
// this is a runaway and is read only to keep the pipe flowing.
constexpr std::size_t kOutputCap = std::size_t{1} << 20;

// Tells a run's keeper to end the script and everything it started.
constexpr int kStopSignal = SIGTERM;

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

// ---- The keeper. It runs in a fork of a threaded process: from the fork
// on it makes only async-signal-safe calls, on what was built before.

// Everything the keeper needs, made before the fork.
struct KeeperPlan {
  const char* program;
  char* const* argv;
  char* const* env;
  int output;  // write end of the script's standard output
  int error;   // write end of the pipe that takes a failed start's errno
  pid_t parent;
};

// The keeper's own memory after the fork; the handler sets it.
volatile sig_atomic_t keeperStopped = 0;
extern "C" void OnKeeperStop(int) { keeperStopped = 1; }
// SIGCHLD must be caught, not ignored, to end the keeper's sigsuspend.
extern "C" void OnKeeperChild(int) {}

void SetHandler(int sig, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  ::sigaction(sig, &action, nullptr);
}

void WriteErrno(int fd, int error) {
  while (::write(fd, &error, sizeof error) < 0 && errno == EINTR) {
  }
}

// Closes every descriptor the palette had open but the standard three and
// the two the keeper keeps: it must hold nothing of the palette open.
void CloseOthers(int a, int b) {
  const unsigned low = static_cast<unsigned>(std::min(a, b));
  const unsigned high = static_cast<unsigned>(std::max(a, b));
  if (low > 3) ::close_range(3, low - 1, 0);
  if (high > low + 1) ::close_range(low + 1, high - 1, 0);
  ::close_range(high + 1, ~0U, 0);
}

// Starts the script in a process group of its own, with standard input
// /dev/null, standard output the pipe, standard error ours, and the
// signals as a fresh process has them. Answers its pid, or -1 once its
// errno is in the error pipe. vfork: the keeper's copy of the palette's
// memory is not copied again, and the child, which only makes system
// calls, has its group before the keeper goes on.
pid_t StartScript(const KeeperPlan& plan) {
  const pid_t pid = ::vfork();
  if (pid < 0) {
    WriteErrno(plan.error, errno);
    return -1;
  }
  if (pid == 0) {
    ::setpgid(0, 0);
    int null = -1;
    if (::dup2(plan.output, STDOUT_FILENO) < 0 || (null = ::open("/dev/null", O_RDONLY)) < 0 ||
        ::dup2(null, STDIN_FILENO) < 0) {
      WriteErrno(plan.error, errno);
      ::_exit(127);
    }
    if (null != STDIN_FILENO) ::close(null);
    SetHandler(kStopSignal, SIG_DFL);
    SetHandler(SIGCHLD, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(plan.program, plan.argv, plan.env);
    WriteErrno(plan.error, errno);
    ::_exit(127);
  }
  return pid;
}

// Writes `value` in decimal at `at`; answers the end.
char* Decimal(char* at, long value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < 24);
  while (n > 0) *at++ = digits[--n];
  return at;
}

// The number a text of digits spells; -1 for anything else.
long Number(const char* text, std::size_t size) {
  if (size == 0 || size > 18) return -1;
  long value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// The parent of `pid` as its /proc stat says; -1 when it cannot be read.
long ParentOf(long pid) {
  char path[48] = "/proc/";
  char* end = Decimal(path + 6, pid);
  for (const char* tail = "/stat"; *tail;) *end++ = *tail++;
  *end = '\0';
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[512];
  ssize_t got;
  while ((got = ::read(fd, text, sizeof text)) < 0 && errno == EINTR) {
  }
  ::close(fd);
  // "pid (name) state ppid ...": the name may hold anything but is short,
  // so the last ')' read ends it.
  ssize_t at = got - 1;
  while (at >= 0 && text[at] != ')') --at;
  if (at < 0) return -1;
  at += 2;                                       // the state
  if (at + 2 >= got) return -1;
  at += 2;                                       // the parent
  ssize_t stop = at;
  while (stop < got && text[stop] != ' ') ++stop;
  return Number(text + at, static_cast<std::size_t>(stop - at));
}

// What a sweep of the keeper's children did: killed one at least, found
// none, found only some it may not signal (another user's), or could not
// look.
enum class Sweep { kKilled, kNoneFound, kUnkillable, kUnreadable };

Sweep Outcome(bool found, bool killed) {
  return killed ? Sweep::kKilled : found ? Sweep::kUnkillable : Sweep::kNoneFound;
}

// Sends SIGKILL to a child; true when it went.
bool Kill(long pid, bool& found) {
  found = true;
  return ::kill(static_cast<pid_t>(pid), SIGKILL) == 0;
}

// SIGKILLs every child the keeper has now, its own and the orphans it
// adopted. Its children cannot be other processes' recycled pids: they
// stay the keeper's until it reaps them.
Sweep KillChildren() {
  bool found = false, killed = false;
  // The keeper has one thread, so its thread's children are all of them.
  const int list = ::open("/proc/thread-self/children", O_RDONLY | O_CLOEXEC);
  if (list >= 0) {
    long pid = -1;
    char buffer[512];
    for (;;) {
      const ssize_t got = ::read(list, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      for (ssize_t i = 0; i < got; ++i) {
        if (buffer[i] >= '0' && buffer[i] <= '9') {
          pid = (pid < 0 ? 0 : pid * 10) + (buffer[i] - '0');
        } else if (pid >= 0) {
          killed = Kill(pid, found) || killed;
          pid = -1;
        }
      }
    }
    if (pid >= 0) killed = Kill(pid, found) || killed;
    ::close(list);
    return Outcome(found, killed);
  }
  // A kernel without that list: every process whose parent is the keeper.
  const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return Sweep::kUnreadable;
  const long self = ::getpid();
  alignas(dirent64) char entries[4096];
  for (ssize_t got; (got = ::getdents64(proc, entries, sizeof entries)) > 0;) {
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
      at += entry->d_reclen;
      const long pid = Number(entry->d_name, std::strlen(entry->d_name));
      if (pid > 0 && ParentOf(pid) == self) killed = Kill(pid, found) || killed;
    }
  }
  ::close(proc);
  return Outcome(found, killed);
}

// The run is stopped: the script, its group and every descendant, also
// those that left the group or the session, end; then so does the keeper.
[[noreturn]] void EndEverything(pid_t script) {
  // The script is not reaped yet, so the group's number is still its own.
  ::kill(-script, SIGKILL);
  ::kill(script, SIGKILL);
  // Sweeps that found nothing while a child was there, in a row.
  for (int missed = 0;;) {
    const Sweep sweep = KillChildren();
    // Nothing to find them by, or only children beyond reach: what is left
    // goes on, adopted by the system as it would be without a keeper.
    if (sweep == Sweep::kUnreadable || sweep == Sweep::kUnkillable) ::_exit(0);
    int status = 0;
    const pid_t reaped = ::waitpid(-1, &status, sweep == Sweep::kKilled ? 0 : WNOHANG);
    if (reaped < 0 && errno == ECHILD) ::_exit(0);
    if (reaped > 0) {
      missed = 0;
    } else if (reaped == 0) {
      // A child the list did not show yet (one being adopted): look again,
      // for a second at most.
      if (++missed > 1000) ::_exit(0);
      const timespec pause{0, 1000000};
      ::nanosleep(&pause, nullptr);
    }
  }
}

// The script ended by itself: the keeper ends the same way, so that the
// runner reads the script's own status; what the script left running
// lives on.
[[noreturn]] void HandBack(int status) {
  if (WIFSIGNALED(status)) {
    const int sig = WTERMSIG(status);
    SetHandler(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::kill(::getpid(), sig);
    ::_exit(128 + sig);
  }
  ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 127);
}

// Every signal is blocked on entry, and stays so outside sigsuspend: none
// of the palette's handlers may run here.
[[noreturn]] void Keeper(const KeeperPlan& plan) {
  for (int sig = 1; sig < NSIG; ++sig) SetHandler(sig, SIG_DFL);
  SetHandler(SIGCHLD, OnKeeperChild);
  SetHandler(kStopSignal, OnKeeperStop);
  // A script's fatal signal is raised again here: no core of the palette.
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  // Orphans of the script's descendants become the keeper's children.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
  ::prctl(PR_SET_PDEATHSIG, kStopSignal, 0, 0, 0);
  // The palette ended before the death signal was asked for.
  if (::getppid() != plan.parent) ::_exit(0);
  CloseOthers(plan.output, plan.error);

  const pid_t script = StartScript(plan);
  if (script < 0) ::_exit(127);
  ::close(plan.output);
  ::close(plan.error);

  sigset_t waiting;
  sigfillset(&waiting);
  sigdelset(&waiting, SIGCHLD);
  sigdelset(&waiting, kStopSignal);
  for (;;) {
    if (keeperStopped) EndEverything(script);
    int status = 0;
    for (pid_t reaped; (reaped = ::waitpid(-1, &status, WNOHANG)) > 0;) {
      if (reaped == script) HandBack(status);
    }
    ::sigsuspend(&waiting);
  }
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

// Forks the keeper, which starts `program` with `args`, byte for byte.
// Answers 0, or the errno of a failed start.
int StartKeeper(const std::string& program, const std::vector<std::string>& args, Child& child) {
  std::vector<char*> argv = Argv(program, args);
  int output[2], error[2];
  if (!Pipe(output)) return errno;
  if (!Pipe(error)) {
    const int saved = errno;
    ::close(output[0]);
    ::close(output[1]);
    return saved;
  }
  const KeeperPlan plan{program.c_str(), argv.data(), environ, output[1], error[1], ::getpid()};

  // Blocked from before the fork, so that no handler of ours runs in the
  // keeper before it has set its own.
  sigset_t all, old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &old);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(output[0]);
    ::close(error[0]);
    Keeper(plan);
  }
  const int forkError = errno;
  ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ::close(output[1]);
  ::close(error[1]);
  if (pid < 0) {
    ::close(output[0]);
    ::close(error[0]);
    return forkError;
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
  if (result.startError != 0) return result;

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
