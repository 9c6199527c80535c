#include "platform/runtime.h"

#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/backgroundtask.h"
#include "platform/menu.h"
#include "platform/registry.h"
#include "platform/reporterror.h"
#include "platform/window.h"

namespace platform {
namespace {

struct RuntimeState {
  Display* display = nullptr;
  Ref<Application> app;
  bool quitting = false;
  bool failed = false;
  int exitCode = 0;
  std::vector<Ref<Window>> windows;
  std::map<std::string, Ref<Window>> implicitWindows;
};

RuntimeState& State() {
  static RuntimeState state;
  return state;
}

std::string Describe(const std::exception& e) {
  if (const auto* r = dynamic_cast<const RuntimeException*>(&e)) {
    const std::string what = r->what();
    return what == r->ClassName() ? what : std::string(r->ClassName()) + ": " + what;
  }
  return e.what();
}

}  // namespace

void RuntimeInit(Display& display) {
  RuntimeState& s = State();
  s = RuntimeState{};
  s.display = &display;
  SetBackgroundTaskDisplayTurn([&display] { display.BackgroundTask(); });
}

int ExitStatus() {
  const RuntimeState& s = State();
  return s.failed ? 1 : s.exitCode;
}

int RuntimeShutdown() {
  RuntimeState& s = State();
  const int code = ExitStatus();
  SetBackgroundTaskDisplayTurn(nullptr);
  s = RuntimeState{};
  return code;
}

Display& CurrentDisplay() {
  if (!State().display) throw NilObjectException("the framework runtime is not up");
  return *State().display;
}

void RuntimeRegisterAppObject(const Ref<Application>& app) { State().app = app; }
Ref<Application> App() { return State().app; }

void RuntimeRun() {
  if (State().quitting) return;
  CurrentDisplay().Run();
}

void Quit(int32_t exitCode) {
  RuntimeState& s = State();
  if (!s.quitting) s.exitCode = exitCode;
  s.quitting = true;
  if (s.display) s.display->Quit();
}

bool Quitting() { return State().quitting; }

void StartupFailed() { State().failed = true; }

void EndNow() {
  std::fflush(nullptr);
  std::_Exit(ExitStatus());
}

void QuitAction() {
  // Every window closes first, so that each Close handler runs (a window
  // saves what it keeps there) on every way out.
  // A Close handler's failure is passed on once the application quits.
  std::exception_ptr failure;
  std::vector<Ref<Window>> windows = State().windows;
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    try {
      (*it)->Close();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  Quit(0);
  if (failure) std::rethrow_exception(failure);
}

void DeliverEvent(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    UnhandledException(std::current_exception());
  }
}

void UnhandledException(const std::exception& e) {
  const std::string text = "An unhandled " + Describe(e) + " ended the current action.";
  ReportError(text);
  if (State().display) {
    try {
      State().display->ShowUnhandledException(text);
    } catch (...) {
      // The report on standard error stands; nothing more can be done.
    }
  }
}

void ReportProgramEnding(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    ReportError("An unhandled " + Describe(ex) + " ended the program.");
  } catch (...) {
    ReportError("An unhandled unknown exception ended the program.");
  }
}

void UnhandledException(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    UnhandledException(ex);
  } catch (...) {
    UnhandledException(RuntimeException("unknown exception"));
  }
}

const std::vector<Ref<Window>>& OpenWindows() { return State().windows; }

void RegisterOpenWindow(const Ref<Window>& window, const std::string& className) {
  RuntimeState& s = State();
  s.windows.push_back(window);
  s.implicitWindows.emplace(className, window);
}

void UnregisterWindow(Window& window, const std::string& className) {
  RuntimeState& s = State();
  auto it = s.implicitWindows.find(className);
  if (it != s.implicitWindows.end() && it->second.get() == &window) s.implicitWindows.erase(it);
  for (auto w = s.windows.begin(); w != s.windows.end(); ++w) {
    if (w->get() == &window) {
      s.windows.erase(w);
      break;
    }
  }
}

Ref<Window> GetImplicitWindow(const std::string& className) {
  auto& m = State().implicitWindows;
  auto it = m.find(className);
  return it == m.end() ? nullptr : it->second;
}

void ReleaseImplicitWindows() { State().implicitWindows.clear(); }
void ReleaseWindowLists() {
  // Windows still open here never closed (start-up failed); each would
  // otherwise stay alive for ever, held by its own timer.
  const std::vector<Ref<Window>> windows = std::move(State().windows);
  State().windows.clear();
  for (const Ref<Window>& w : windows) w->Discard();
}
void ReleaseReflectionCaches() { ClassRegistry::Instance().ReleaseRecords(); }

}  // namespace platform
