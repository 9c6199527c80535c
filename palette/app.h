// The application object, the menu bar, and the program's frame from
// start-up to shut-down.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/display.h"
#include "platform/menu.h"
#include "platform/registry.h"
#include "platform/runtime.h"

namespace palette {

class Window1;

class App : public platform::Application {
 public:
  const platform::ClassInfo* Class() const override;
};

class MenuBar1 : public platform::MenuBar {
 public:
  const platform::ClassInfo* Class() const override;
  // Builds the File menu, then the Edit menu.
  virtual void Constructor();
  // The File menu and the Edit menu, under the names the system has always
  // given them: kept on purpose, not to be renamed.
  virtual void Untitled0();
  virtual void Untitled1();
};

// The implicit-instance accessors: each answers its class's one instance,
// making it on first use.
namespace implicit {
platform::Ref<palette::Window1> Window1();
platform::Ref<palette::MenuBar1> MenuBar1();
// The module's reference to the menu bar; nil until the first request and
// after the finalisation step.
extern platform::Ref<palette::MenuBar1> implicitInstance;
// Drops the module's reference to the menu bar.
void ExitImplicitInstance();
}  // namespace implicit

// Start-up steps, in the order Main runs them.
void InitFileTypes();
void NewAppInstance();
void ApplicationAddMenuHandlers();
void MakeDefaultView();
// The start-up steps and the event loop inside one guard: an exception
// skips the rest, goes to the unhandled-exception handler and makes the
// exit status 1.
void Main();

// The initialisation step: every class registration, the framework's first.
void Initialize();
// The finalisation step: the framework's registries, then the menu bar.
void Finalize();

// The whole program on a display; answers the exit status.
int MainRoutine(platform::Display& display);

// Makes the display, or answers nullptr with one sentence for the user.
using DisplayMaker = std::function<std::unique_ptr<platform::Display>(std::string* error)>;
// The process's whole life inside one guard: the configuration, the
// display's making (status 2 and its sentence when there is none), then
// the main routine. An exception that escapes any of it is one line on
// standard error and status 1.
int Program(const DisplayMaker& makeDisplay);

}  // namespace palette
