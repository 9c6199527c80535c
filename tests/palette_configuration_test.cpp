// What the palette hands the framework from its environment at start-up:
// the resources folder and the host's time limits.
#include "palette/configuration.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "platform/testing/apple_event_limit.h"
#include "platform/resourcesfolder.h"
#include "platform/scriptrunner.h"
#include "tests/support/palette_fixture.h"
#include "tests/support/stderr_capture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::ScopedEnv;
using testsupport::TempDir;

class ConfigurationTest : public ::testing::Test {
 protected:
  // The test's variables are gone by now.
  void TearDown() override { palette::Configure(); }
  testsupport::TempDir home_;
};

TEST_F(ConfigurationTest, TimeLimitsFitEachScriptAndTheVariableOverridesAll) {
  const std::pair<int32_t, std::chrono::milliseconds> limits[] = {
      {168, 120s}, {169, 3s}, {170, 10s}, {171, 120s}, {172, 120s}, {1, 120s},
  };
  const std::optional<std::string> ignored[] = {std::nullopt, "", "0", "-5", "abc", "300ms",
                                                "99999999999"};
  for (const auto& value : ignored) {
    SCOPED_TRACE("override '" + value.value_or("(unset)") + "'");
    ScopedEnv limit("TESSALINE_SCRIPT_TIMEOUT_MS", value);
    palette::Configure();
    for (const auto& [id, expected] : limits) EXPECT_EQ(platform::ScriptTimeLimit(id), expected) << id;
    EXPECT_EQ(platform::seam::AppleEventTimeLimit(), 10s);
  }
  ScopedEnv limit("TESSALINE_SCRIPT_TIMEOUT_MS", "250000");
  palette::Configure();
  for (const auto& [id, expected] : limits) EXPECT_EQ(platform::ScriptTimeLimit(id), 250000ms) << id;
  EXPECT_EQ(platform::seam::AppleEventTimeLimit(), 250000ms);
}

TEST_F(ConfigurationTest, LimitThatIsNoNumberOfMillisecondsIsSaidOnce) {
  const std::string said =
      "tessaline: TESSALINE_SCRIPT_TIMEOUT_MS is not a whole number of milliseconds from 1 to "
      "2147483647; it is ignored\n";
  const std::pair<std::optional<std::string>, bool> values[] = {
      {std::nullopt, false}, {"", false},     {"250000", false},     {"0", true},
      {"-5", true},          {"abc", true},   {"300ms", true},       {"99999999999", true},
      {"2147483648", true},
  };
  for (const auto& [value, says] : values) {
    SCOPED_TRACE("value '" + value.value_or("(unset)") + "'");
    ScopedEnv limit("TESSALINE_SCRIPT_TIMEOUT_MS", value);
    testsupport::StderrCapture capture(fs::path(home_.path()) / "stderr");
    palette::Configure();
    EXPECT_EQ(capture.Text(), says ? said : "");
  }
}

TEST_F(ConfigurationTest, ResourcesFolderIsTheVariableElseBesideTheExecutable) {
  {
    ScopedEnv set("TESSALINE_RESOURCES", "/nowhere/resources");
    palette::Configure();
    EXPECT_EQ(platform::ResourcesFolder(), "/nowhere/resources");
  }
  const std::string beside = (fs::read_symlink("/proc/self/exe").parent_path() / "resources").string();
  for (const std::optional<std::string>& value : {std::optional<std::string>(""),
                                                  std::optional<std::string>()}) {
    ScopedEnv empty("TESSALINE_RESOURCES", value);
    palette::Configure();
    EXPECT_EQ(platform::ResourcesFolder(), beside);
  }
}

// The executable's place decides: the build tree keeps "resources" beside
// the program, an installed one finds share/tessaline/resources from bin/.
TEST(LocateResourcesTest, VariableElseBesideElseInstalled) {
  struct Case {
    const char* name;
    const char* variable;
    bool beside;     // <exe folder>/resources is a folder
    bool besideFile; // ... or a file of that name
    bool installed;  // <exe folder>/../share/tessaline/resources is a folder
    const char* expected;  // "beside", "installed" or the variable's value
  };
  const Case cases[] = {
      {"build tree", nullptr, true, false, false, "beside"},
      {"installed", nullptr, false, false, true, "installed"},
      {"both: the build tree wins", nullptr, true, false, true, "beside"},
      {"neither: beside, to be reported missing", nullptr, false, false, false, "beside"},
      {"a file named resources", nullptr, false, true, true, "installed"},
      {"empty variable", "", false, false, true, "installed"},
      {"variable over both", "/elsewhere/host", true, false, true, "/elsewhere/host"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path bin = dir.path() / "prefix" / "bin";
    const fs::path installed = dir.path() / "prefix" / "share" / "tessaline" / "resources";
    fs::create_directories(bin);
    if (c.beside) fs::create_directory(bin / "resources");
    if (c.besideFile) std::ofstream(bin / "resources") << "not a folder";
    if (c.installed) fs::create_directories(installed);
    const std::string expected = std::string(c.expected) == "beside"      ? (bin / "resources").string()
                                 : std::string(c.expected) == "installed" ? installed.string()
                                                                          : c.expected;
    EXPECT_EQ(palette::LocateResources(c.variable, bin / "tessaline"), expected);
  }
}

// The keeper stands beside the palette in the build tree and in
// libexec/tessaline/ once installed.
TEST(LocateKeeperTest, BesideElseInstalled) {
  const struct {
    const char* name;
    bool beside, installed;
    bool expectInstalled;
  } cases[] = {
      {"build tree", true, false, false},
      {"installed", false, true, true},
      {"both: the build tree wins", true, true, false},
      {"neither: beside, to be reported missing", false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path bin = dir.path() / "prefix" / "bin";
    const fs::path installed = dir.path() / "prefix" / "libexec" / "tessaline" / "tessaline-keeper";
    fs::create_directories(bin);
    fs::create_directories(installed.parent_path());
    if (c.beside) std::ofstream(bin / "tessaline-keeper") << "keeper";
    if (c.installed) std::ofstream(installed) << "keeper";
    EXPECT_EQ(palette::LocateKeeper(bin / "tessaline"),
              (c.expectInstalled ? installed : bin / "tessaline-keeper").string());
  }
}

}  // namespace
