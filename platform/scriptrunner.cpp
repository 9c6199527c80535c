#include "platform/scriptrunner.h"

#include <signal.h>
#include <unistd.h>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <mutex>
#include <optional>
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

bool IsRunnableFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

String RunScript(int32_t resourceId, const std::vector<std::string>& args) {
  const std::string path = ScriptPath(resourceId);
  // A missing script is an ordinary state of an unpacked build; answer
  // quietly instead of letting QProcess report a failed start.
  if (!IsRunnableFile(path)) return String();
  ProcessResult run = RunProcess(path, args, ScriptTimeLimit(resourceId));
  if (!run.started || !run.finishedInTime || run.exitCode != 0) return String();
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

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         milliseconds limit) {
  ProcessResult result;
  if (ScriptsStopped()) return result;
  QStringList arguments;
  arguments.reserve(static_cast<qsizetype>(args.size()));
  for (const auto& arg : args) arguments.push_back(QString::fromStdString(arg));

  // Only the blocking waitFor* calls are used: they need no event loop and
  // no QCoreApplication, so the runner works in tests and before the
  // display is up.
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.setInputChannelMode(QProcess::ManagedInputChannel);
  process.setReadChannel(QProcess::StandardOutput);
  // Its own process group, so a timed-out script is killed together with
  // whatever it started (an osascript, a sleep) instead of leaving them
  // running with our pipe open.
  process.setChildProcessModifier([] { ::setpgid(0, 0); });

  const auto deadline = Clock::now() + limit;
  auto remainingMs = [&]() -> int {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    // waitFor* treat -1 as "forever"; never hand them anything below 1.
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
  };

  process.start(QString::fromStdString(program), arguments, QIODevice::ReadWrite);
  process.closeWriteChannel();  // a script that reads its input sees end of file
  if (!process.waitForStarted(std::max(remainingMs(), 1))) {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(-1);
    }
    return result;
  }
  result.started = true;
  const auto pid = static_cast<pid_t>(process.processId());
  std::optional<RunningScript> running(std::in_place, pid);

  auto drain = [&] {
    const QByteArray chunk = process.readAllStandardOutput();
    if (result.output.size() < kOutputCap) {
      const auto keep = std::min<std::size_t>(static_cast<std::size_t>(chunk.size()),
                                              kOutputCap - result.output.size());
      result.output.append(chunk.constData(), keep);
    }
  };

  // Read as output arrives so that QProcess never buffers more than one
  // pipe's worth; waitForFinished alone would keep a flood in memory.
  bool timedOut = false;
  while (process.state() != QProcess::NotRunning) {
    const int left = remainingMs();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    if (process.waitForReadyRead(left)) {
      drain();
      continue;
    }
    // No more output: the script ended, closed its output early, or the
    // time ran out. A closed output cannot grow the buffer, so waiting for
    // the end is safe.
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(std::max(remainingMs(), 1))) {
      timedOut = process.state() != QProcess::NotRunning;
      break;
    }
  }

  // Stopped: the group is dead or dying; it is reaped as one past its time.
  timedOut = timedOut || ScriptsStopped();
  if (timedOut) {
    if (pid > 0) ::kill(-pid, SIGKILL);
    running.reset();
    process.kill();
    process.waitForFinished(-1);  // reap it: no zombie outlives the call
    return result;
  }

  drain();
  result.finishedInTime = true;
  result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  return result;
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
