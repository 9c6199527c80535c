// A palette on the scripted display, with a fake host and a home folder of
// its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "palette/app.h"
#include "palette/window1.h"
#include "platform/scripted/scripted_display.h"
#include "tests/support/fake_host.h"

namespace testsupport {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Sets an environment variable for its lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();

 private:
  std::string name_;
  std::optional<std::string> old_;
};

class PaletteTest : public ::testing::Test {
 protected:
  PaletteTest();
  ~PaletteTest() override;

  // Start-up as far as the event loop: the runtime, the classes, the
  // application object and the palette window (whose Open has run).
  void Start();
  // The palette closes through its window, as the close button does.
  void CloseWindow();

  fs::path Home() const { return home_.path(); }
  fs::path ConfigDir() const { return home_.path() / "config"; }
  fs::path PrefsFile() const { return ConfigDir() / "velquor.pref"; }
  // The folder that stands in for the root of the boot volume, so that the
  // host's scripts folder is looked for under it, never in /Applications.
  fs::path BootVolume() const { return home_.path() / "volume"; }
  // Makes a scripts folder from relative paths; a path ending in "/" is a
  // folder.
  fs::path MakeFolder(const std::string& name, const std::vector<std::string>& entries);
  void WritePrefs(const std::string& content);
  std::string ReadPrefs() const;

  // Column 0 and column 1 of every row of LB1.
  std::vector<std::pair<std::string, std::string>> Rows() const;
  std::vector<std::string> Shown() const;  // column 0 of every row
  void DoubleClick(int32_t row);
  // How often the host was asked for that call ("getAiVer", "goas /p").
  int Calls(const std::string& call) const;
  // The display's log lines that begin with `prefix`.
  int LogCount(const std::string& prefix) const;
  bool LogHas(const std::string& prefix) const { return LogCount(prefix) > 0; }
  bool HasUnhandled() const { return LogHas("unhandled:"); }
  void Click(platform::BevelButton& button) { button.Push(); }

  TempDir home_;
  ScopedEnv homeEnv_, configEnv_;
  platform::ScriptedDisplay display;
  // Each host call also goes into the display's log ("host: goas /path"),
  // so that a test sees host calls and message boxes in one order.
  FakeHost host;
  platform::Ref<palette::Window1> window;
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace testsupport
