// The keeper of one host script run: it starts the script in a process
// group of its own and, as a child subreaper, adopts whatever the script's
// descendants leave behind, so that a stop ends them all (see
// keeper_protocol.h for how the runner starts it). It is a program of its
// own so that the runner starts it with a spawn, never a fork of the whole
// program's memory.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/keeper_protocol.h"

namespace {

using platform::keeper::kErrorFd;

// Everything the keeper needs, from its command line.
struct KeeperPlan {
  const char* program;
  char* const* argv;
  char* const* env;
  int output;  // write end of the script's standard output
  int error;   // write end of the pipe that takes a failed start's errno
  pid_t parent;
};

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

// Starts the script in a process group of its own, with standard input
// /dev/null, standard output the pipe, standard error ours, and the
// signals as a fresh process has them. Answers its pid, or -1 once its
// errno is in the error pipe. vfork: the child, which only makes system
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
    SetHandler(platform::keeper::kStopSignal, SIG_DFL);
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

// The runner starts it with every signal blocked and at its default; they
// stay blocked outside sigsuspend, so that a stop or a child's end is seen
// only where the loop looks.
[[noreturn]] void Keeper(const KeeperPlan& plan) {
  SetHandler(SIGCHLD, OnKeeperChild);
  SetHandler(platform::keeper::kStopSignal, OnKeeperStop);
  // A script's fatal signal is raised again here: no core of the keeper.
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  // Orphans of the script's descendants become the keeper's children.
  ::prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
  ::prctl(PR_SET_PDEATHSIG, platform::keeper::kStopSignal, 0, 0, 0);
  // The runner ended before the death signal was asked for.
  if (::getppid() != plan.parent) ::_exit(0);
  // Nothing of the runner's stays open here, and the script does not hold
  // the error pipe, whose end tells the runner it was exec'd.
  ::close_range(kErrorFd + 1, ~0U, 0);
  ::fcntl(plan.error, F_SETFD, FD_CLOEXEC);

  const pid_t script = StartScript(plan);
  if (script < 0) ::_exit(127);
  ::close(plan.output);
  ::close(plan.error);

  sigset_t waiting;
  sigfillset(&waiting);
  sigdelset(&waiting, SIGCHLD);
  sigdelset(&waiting, platform::keeper::kStopSignal);
  for (;;) {
    if (keeperStopped) EndEverything(script);
    int status = 0;
    for (pid_t reaped; (reaped = ::waitpid(-1, &status, WNOHANG)) > 0;) {
      if (reaped == script) HandBack(status);
    }
    ::sigsuspend(&waiting);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 127;
  const KeeperPlan plan{argv[2], argv + 2, environ, STDOUT_FILENO, kErrorFd,
                        static_cast<pid_t>(std::atol(argv[1]))};
  Keeper(plan);
}
