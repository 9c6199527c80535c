// The palette started as the program starts it, on a Qt display of its own
// (a fresh QApplication per test, so nothing one test leaves in the event
// loop reaches the next). The fake host of the scripted fixture answers the
// host scripts; the scripted display it logs to shows nothing. For the tests
// that link the Qt display and its inspection.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "palette/app.h"
#include "palette/configuration.h"
#include "palette/window1.h"
#include "platform/display.h"
#include "platform/qt/qt_display.h"
#include "platform/qt/qt_inspect.h"
#include "platform/runtime.h"
#include "platform/window.h"
#include "tests/support/palette_fixture.h"

namespace testsupport {

// How long a test waits for Qt to show what it was asked to.
inline constexpr int kQtWaitMs = 3000;

inline std::string Describe(const platform::Rect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width) +
         "x" + std::to_string(r.height);
}

class QtPaletteFixture : public PaletteTest {
 protected:

  QtPaletteFixture() { MakeDisplay(); }

  ~QtPaletteFixture() override {
    if (started_) {
      // A window still open would keep its widgets and its timer running.
      // (A failure there must not put up a box that nobody answers.)
      try {
        if (window && window->IsOpen()) window->Close();
      } catch (const std::exception& e) {
        ADD_FAILURE() << "closing the palette: " << e.what();
      }
      Finish();
    }
    window.reset();
    platform::qtinspect::ProcessEvents(0);
    qt_.reset();
  }

  void MakeDisplay() {
    std::string error;
    qt_ = platform::CreateQtDisplay(argc_, argv_, palette::DisplayOptions(), &error);
    if (!qt_) ADD_FAILURE() << error;
  }

  // Start-up as the program makes it; returns once the window shows where
  // its model says.
  void StartQt() {
    namespace qi = platform::qtinspect;
    ASSERT_TRUE(qt_);
    platform::RuntimeInit(*qt_);
    started_ = true;
    palette::Initialize();
    palette::NewAppInstance();
    palette::MakeDefaultView();
    window = palette::implicit::Window1();
    ASSERT_TRUE(qi::WaitUntil(
        [this] {
          const qi::WindowView v = qi::InspectWindow(*window);
          return v.visible && v.content == window->Bounds();
        },
        kQtWaitMs))
        << "shown at " << Describe(qi::InspectWindow(*window).content) << ", model "
        << Describe(window->Bounds());
  }

  // The palette opened on `folder` through the preferences file, at the
  // bounds of its first four lines (the menu bar above them on the screen).
  void OpenOn(const std::filesystem::path& folder,
              const std::string& bounds = "10\n40\n150\n200\n") {
    WritePrefs(bounds + folder.string() + "\n");
    StartQt();
  }

  // The finalisation step and the runtime's end; answers the exit status.
  int Finish() {
    palette::Finalize();
    started_ = false;
    return platform::RuntimeShutdown();
  }

  int argc_ = 1;
  char name_[16] = "qt_palette_test";
  char* argv_[2] = {name_, nullptr};
  ScopedEnv qpa_{"QT_QPA_PLATFORM", std::string("offscreen")};
  // The plainest locale, in which Qt speaks English and writes dates the
  // English way unless it is told otherwise: the palette's texts must be
  // Japanese all the same.
  ScopedEnv lang_{"LANG", std::string("C.UTF-8")};
  ScopedEnv lcAll_{"LC_ALL", std::nullopt};
  ScopedEnv lcTime_{"LC_TIME", std::nullopt};
  ScopedEnv language_{"LANGUAGE", std::nullopt};
  std::unique_ptr<platform::Display> qt_;
};

}  // namespace testsupport
