// The framework runtime: the application object, the event loop, quitting,
// the window lists and the unhandled-exception handler.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/object.h"
#include "platform/properties.h"
#include "platform/text.h"

namespace platform {

class MenuBar;
class Window;

class Application : public Object {
 public:
  Ref<platform::MenuBar> MenuBar() const { return menuBar_; }
  void SetMenuBar(const Ref<platform::MenuBar>& bar) { menuBar_ = bar; }

 private:
  Ref<platform::MenuBar> menuBar_;
};

// Brings the runtime up on a display; the display stays the caller's.
void RuntimeInit(Display& display);
// Releases what the runtime still holds and answers the exit status: 1
// after StartupFailed, else the code given to Quit, 0 when Quit was never
// called.
int RuntimeShutdown();
// An exception ended start-up or the loop (it has been reported): the
// program ends, and not as a success.
void StartupFailed();
// The status RuntimeShutdown would answer now.
int ExitStatus();
// Ends the process at once with that status, the standard streams flushed
// and nothing released: for a display whose own shut-down would wait on a
// server that is gone or does not answer.
[[noreturn]] void EndNow();
Display& CurrentDisplay();

void RuntimeRegisterAppObject(const Ref<Application>& app);
Ref<Application> App();

// Runs the event loop until the application quits.
void RuntimeRun();
// Asks the application to quit; the loop returns after the handler in
// progress has finished.
void Quit(int32_t exitCode = 0);
bool Quitting();
// The quit action of the Quit menu item: every open window is closed first,
// so each window's Close handler runs, then the application quits, also
// when a Close handler fails (its exception is passed on after).
void QuitAction();

// Delivers one event from the display: runs `handler`, and an exception
// that escapes it goes to UnhandledException; the event is abandoned and
// the application goes on.
void DeliverEvent(const std::function<void()>& handler);
// The framework's treatment of an exception no code caught: a report on
// standard error and, where the display can, in a message box.
void UnhandledException(const std::exception& e);
void UnhandledException(std::exception_ptr e);
// An exception that escaped the program's whole life: one line on standard
// error, no message box (the display may be gone).
void ReportProgramEnding(std::exception_ptr e);

// The framework's window lists: every open window, in opening order.
const std::vector<Ref<class Window>>& OpenWindows();
void RegisterOpenWindow(const Ref<Window>& window, const std::string& className);
void UnregisterWindow(Window& window, const std::string& className);
// The framework's registry of implicit windows, by registered class name.
Ref<Window> GetImplicitWindow(const std::string& className);
// The finalisation step's releases, in the order the program makes them.
void ReleaseImplicitWindows();
void ReleaseWindowLists();
void ReleaseReflectionCaches();

}  // namespace platform
