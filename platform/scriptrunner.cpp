#include "platform/scriptrunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <unordered_map>

#include "platform/object.h"

namespace platform {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A host script answers a version or an application name; anything past
// this is a runaway and is read only to keep the pipe flowing.
constexpr std::size_t kOutputCap = std::size_t{1} << 20;

ProcessScriptRunner& ProcessRunner() {
  static ProcessScriptRunner runner;
  return runner;
}

std::atomic<ScriptRunner*> installedRunner{nullptr};

// Touched from a signal handler: lock-free atomics only.
std::atomic<bool> scriptsStopped{false};
std::atomic<int> runningGroup{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

// A positive decimal integer that fits an int, or nothing.
std::optional<long long> PositiveNumber(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || value <= 0 || value > INT_MAX) return std::nullopt;
  return value;
}

std::string ExecutableFolder() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return exe.parent_path().string();
}

std::string ScriptPath(int32_t resourceId) {
  return ResourcesFolder() + "/scripts/" + std::to_string(resourceId);
}

// Why a script could not be run; nothing when it can be.
std::optional<std::string> CannotRun(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "missing";
  if (!S_ISREG(st.st_mode)) return "not a file";
  if (::access(path.c_str(), X_OK) != 0) return "not executable";
  return std::nullopt;
}

// Why a run gave the empty reply; nothing when it answered.
std::optional<std::string> Failure(const ProcessResult& run, milliseconds limit) {
  if (!run.started) return std::string("could not be started (") + std::strerror(run.startError) + ")";
  if (!run.finishedInTime) return "killed at its limit of " + std::to_string(limit.count()) + " ms";
  if (run.endSignal != 0) return "killed by signal " + std::to_string(run.endSignal);
  if (run.exitCode != 0) return "exit status " + std::to_string(run.exitCode);
  return std::nullopt;
}

// The empty reply hides the palette or does nothing, so the user is told
// why on standard error: once per script and reason, since the palette
// asks one script every second.
void ReportFailure(const std::string& path, const std::string& reason) {
  static std::mutex mutex;
  static std::set<std::pair<std::string, std::string>> reported;
  {
    std::lock_guard lock(mutex);
    if (!reported.emplace(path, reason).second) return;
  }
  std::fprintf(stderr, "tessaline: host script %s: %s\n", path.c_str(), reason.c_str());
}

String RunScript(int32_t resourceId, const std::vector<std::string>& args) {
  const std::string path = ScriptPath(resourceId);
  if (auto reason = CannotRun(path)) {
    ReportFailure(path, *reason);
    return String();
  }
  const milliseconds limit = ScriptTimeLimit(resourceId);
  ProcessResult run = RunProcess(path, args, limit);
  // The palette is ending: a script it stopped failed no one.
  if (ScriptsStopped()) return String();
  if (auto reason = Failure(run, limit)) {
    ReportFailure(path, *reason);
    return String();
  }
  if (!run.output.empty() && run.output.back() == '\n') run.output.pop_back();
  return String(std::move(run.output));
}

// Open parameterised calls. Handles come from one counter for the whole
// process, so a handle names one call of one runner and is never given out
// again; the owner is kept so that one runner cannot complete another's.
struct OpenCall {
  const ProcessScriptRunner* owner;
  int32_t resourceId;
  std::vector<std::string> args;
};

std::mutex callsMutex;
std::unordered_map<int32_t, OpenCall>& OpenCalls() {
  static std::unordered_map<int32_t, OpenCall> calls;
  return calls;
}
int32_t lastHandle = 0;  // guarded by callsMutex

void AddParam(const ProcessScriptRunner* owner, int32_t handle, std::string arg) {
  std::lock_guard lock(callsMutex);
  auto found = OpenCalls().find(handle);
  if (found == OpenCalls().end() || found->second.owner != owner) return;
  found->second.args.push_back(std::move(arg));
}

// Removes the call and hands it back; nothing for a handle that is not open.
std::optional<OpenCall> TakeCall(const ProcessScriptRunner* owner, int32_t handle) {
  std::lock_guard lock(callsMutex);
  auto found = OpenCalls().find(handle);
  if (found == OpenCalls().end() || found->second.owner != owner) return std::nullopt;
  OpenCall call = std::move(found->second);
  OpenCalls().erase(found);
  return call;
}

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

ScriptRunner& CurrentScriptRunner() {
  ScriptRunner* runner = installedRunner.load();
  return runner ? *runner : ProcessRunner();
}

void SetScriptRunner(ScriptRunner* runner) { installedRunner.store(runner); }

std::string ResourcesFolder() {
  const char* fromEnvironment = std::getenv("TESSALINE_RESOURCES");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
  return ExecutableFolder() + "/resources";
}

milliseconds ScriptTimeLimit(int32_t resourceId) {
  if (auto overridden = PositiveNumber(std::getenv("TESSALINE_SCRIPT_TIMEOUT_MS"))) {
    return milliseconds(*overridden);
  }
  switch (resourceId) {
    // Asked every second by the palette's timer: a host that stops
    // answering must cost the user a short stall, not a frozen palette.
    case 169: return std::chrono::seconds(3);
    // Bringing the palette forward; the host may be busy for a moment.
    case 170: return std::chrono::seconds(10);
    // 168 is asked once at start, while the host may still be launching;
    // 171 and 172 run a user's script in the host, bounded like an Apple
    // event reply. Anything else gets the same generous limit.
    default: return std::chrono::seconds(120);
  }
}

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

String ProcessScriptRunner::ScriptFunction(int32_t resourceId) { return RunScript(resourceId, {}); }

void ProcessScriptRunner::ScriptExecute(int32_t resourceId) { RunScript(resourceId, {}); }

int32_t ProcessScriptRunner::StartParamScript(int32_t resourceId) {
  std::lock_guard lock(callsMutex);
  // Two thousand million calls in one run is beyond any palette; refusing
  // is better than handing out a handle a second time.
  if (lastHandle == std::numeric_limits<int32_t>::max()) {
    throw RuntimeException("no script handles left");
  }
  const int32_t handle = ++lastHandle;
  OpenCalls().emplace(handle, OpenCall{this, resourceId, {}});
  return handle;
}

void ProcessScriptRunner::AddStringScriptParam(int32_t handle, const String& text) {
  AddParam(this, handle, text.str());
}

void ProcessScriptRunner::AddIntegerScriptParam(int32_t handle, int32_t value) {
  AddParam(this, handle, std::to_string(value));
}

String ProcessScriptRunner::CompleteParamScriptFunction(int32_t handle) {
  auto call = TakeCall(this, handle);
  if (!call) return String();
  return RunScript(call->resourceId, call->args);
}

void ProcessScriptRunner::CompleteParamScriptExecute(int32_t handle) {
  if (auto call = TakeCall(this, handle)) RunScript(call->resourceId, call->args);
}

}  // namespace platform
