// What both fuzz targets need: a private run folder, a host that only
// records, and a palette on the scripted display from start-up to close.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "palette/window1.h"
#include "platform/applevent.h"
#include "platform/listbox.h"
#include "platform/scripted/scripted_display.h"
#include "platform/scriptrunner.h"

namespace fuzzpalette {

// A broken invariant: printed and aborted, so the fuzzer keeps the input.
[[noreturn]] void Fail(const std::string& what);
inline void Check(bool ok, const std::string& what) {
  if (!ok) Fail(what);
}

// The folder that everything of this run lives in (home, preferences,
// scripts folders, the stand-in boot volume); made on first use, with the
// environment pointed into it, and removed when the process exits.
const std::string& RunFolder();
std::string ConfigFolder();  // $XDG_CONFIG_HOME
std::string PrefsFile();

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);

// The host: answers a fixed version and front application, and records
// every call as "goas /path", "gojs /path", "acctivemyapp", "activate".
class Host : public platform::ScriptRunner, public platform::AppleEventSender {
 public:
  Host();
  ~Host() override;
  std::string version = "14.0.0";
  std::vector<std::string> calls;

  platform::String ScriptFunction(int32_t id) override;
  void ScriptExecute(int32_t id) override;
  int32_t StartParamScript(int32_t id) override;
  void AddStringScriptParam(int32_t handle, const platform::String& text) override;
  void AddIntegerScriptParam(int32_t handle, int32_t value) override;
  platform::String CompleteParamScriptFunction(int32_t handle) override;
  void CompleteParamScriptExecute(int32_t handle) override;
  bool Send(const platform::AppleEvent& event) override;

 private:
  platform::String Run(int32_t id, const std::string& argument);
  int32_t openId_ = 0;
  std::string openArgument_;
};

// One palette: the runtime, the classes, the application and the window
// (whose Open has run) on construction; closed, finalised and shut down on
// destruction, so that nothing carries over to the next input.
class Palette {
 public:
  explicit Palette(Host& host);
  ~Palette();
  Palette(const Palette&) = delete;
  Palette& operator=(const Palette&) = delete;

  palette::Window1& window() { return *window_; }
  platform::Listbox& list();
  platform::ScriptedDisplay& display() { return display_; }
  // The window closes as its close button does; true when the program then
  // quits.
  bool Close();
  // Every row's two columns.
  std::vector<std::pair<std::string, std::string>> Rows();
  // No exception reached the framework's handler.
  bool Clean() const;

 private:
  platform::ScriptedDisplay display_;
  platform::Ref<palette::Window1> window_;
  bool closed_ = false;
};

}  // namespace fuzzpalette
