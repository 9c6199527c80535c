// What both fuzz targets need: a private run folder, and a palette on the
// scripted display from start-up to close.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "palette/window1.h"
#include "platform/listbox.h"
#include "platform/scripted/scripted_display.h"
#include "tests/support/fake_host.h"

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

// One palette: the runtime, the classes, the application and the window
// (whose Open has run) on construction; closed, finalised and shut down on
// destruction, so that nothing carries over to the next input. The host it
// is given stays installed for the palette's whole life.
class Palette {
 public:
  explicit Palette(testsupport::FakeHost& host);
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
