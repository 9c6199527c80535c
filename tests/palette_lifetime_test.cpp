// The program's whole life: an exception anywhere in it is one line on
// standard error and status 1, and quitting ends the loop whatever the
// windows' Close handlers do.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "palette/app.h"
#include "platform/registry.h"
#include "platform/runtime.h"
#include "platform/scripted/scripted_display.h"
#include "platform/window.h"
#include "tests/support/palette_fixture.h"

namespace {

using platform::ClassInfo;
using platform::ClassRegistry;
using platform::Ref;
using testsupport::ScopedEnv;
using testsupport::TempDir;

struct LifeFailure {
  const char* name;
  std::function<void()> before;  // run in the child before the program starts
  bool displayThrows;
  const char* reported;
};

class ProgramFailureTest : public ::testing::TestWithParam<LifeFailure> {};

void PrintTo(const LifeFailure& f, std::ostream* out) { *out << f.name; }

TEST_P(ProgramFailureTest, IsOneLineOnStandardErrorAndStatus1) {
  // A child process of its own: the class registry it spoils is its own.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const LifeFailure& f = GetParam();
  TempDir home;
  ScopedEnv homeEnv("HOME", home.path().string());
  ScopedEnv configEnv("XDG_CONFIG_HOME", (home.path() / "config").string());
  EXPECT_EXIT(
      {
        f.before();
        std::exit(palette::Program([&](std::string*) -> std::unique_ptr<platform::Display> {
          if (f.displayThrows) throw std::bad_alloc();
          return std::make_unique<platform::ScriptedDisplay>();
        }));
      },
      ::testing::ExitedWithCode(1),
      std::string("^tessaline: An unhandled ") + f.reported + " ended the program\\.\n$");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ProgramFailureTest,
    ::testing::Values(
        LifeFailure{"MakingTheDisplay", [] {}, true, "std::bad_alloc"},
        LifeFailure{"Initialization",
                    [] {
                      // The application class asks for a base nobody declared.
                      ClassRegistry::Instance().Declare("App", [] {
                        ClassInfo info;
                        info.name = "App";
                        info.baseName = "NoSuchBase";
                        return info;
                      });
                    },
                    false, "RuntimeException: class not declared: NoSuchBase"}),
    [](const auto& info) { return std::string(info.param.name); });

// A window whose Close handler fails.
class FailingCloseWindow : public platform::Window {
 public:
  const ClassInfo* Class() const override {
    static const ClassInfo info = [] {
      ClassInfo i;
      i.name = "Test.FailingClose";
      i.eventHandlers["Close"] = [](platform::Object&) { throw std::runtime_error("close failed"); };
      return i;
    }();
    return &info;
  }
};

TEST(QuitActionTest, AFailingCloseHandlerStillEndsTheLoopAndIsReported) {
  TempDir home;
  ScopedEnv homeEnv("HOME", home.path().string());
  platform::ScriptedDisplay display;
  platform::RuntimeInit(display);
  Ref<FailingCloseWindow> window = platform::New<FailingCloseWindow>();
  window->Constructor();
  bool laterEventRan = false;
  display.Post([] { platform::QuitAction(); });
  display.Post([&] { laterEventRan = true; });

  testing::internal::CaptureStderr();
  display.Run();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(platform::Quitting());
  EXPECT_FALSE(laterEventRan);
  EXPECT_FALSE(window->IsOpen());
  EXPECT_NE(err.find("An unhandled close failed ended the current action."), std::string::npos)
      << err;
  EXPECT_EQ(platform::RuntimeShutdown(), 0);
}

}  // namespace
