// A palette on the scripted display, with a fake host and a home folder of
// its own.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "palette/app.h"
#include "palette/window1.h"
#include "platform/applevent.h"
#include "platform/scripted/scripted_display.h"
#include "platform/scriptrunner.h"

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

// Plays the host: answers the five scripts and the activate event, and
// writes each call into the display's log ("host: goas /path"), so a test
// sees host calls and message boxes in one order.
class FakeHost : public platform::ScriptRunner, public platform::AppleEventSender {
 public:
  explicit FakeHost(platform::ScriptedDisplay& display);
  ~FakeHost() override;

  // The version text, and what frontAppli answers until told otherwise.
  std::string version = "14.0.0";
  std::string front = "Illustrator";
  // Whether the activate event reaches a running host.
  bool running = true;
  // Answers queued for frontAppli, before `front` applies again.
  std::deque<std::string> frontAnswers;
  // Raised (as an IOException) by the next call of that operation.
  std::optional<std::string> failNext;

  // The calls, e.g. "getAiVer", "goas /tmp/x/b.scpt", "activate misc actv ART5".
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
  platform::String Run(int32_t id, const std::vector<std::string>& args);
  platform::ScriptedDisplay& display_;
  std::map<int32_t, std::pair<int32_t, std::vector<std::string>>> open_;
  int32_t nextHandle_ = 1;
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
  FakeHost host{display};
  platform::Ref<palette::Window1> window;
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace testsupport
