// What the palette hands the framework from its environment at start-up:
// the resources folder and the host's time limits.
#include "palette/configuration.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/applevent.h"
#include "platform/scriptrunner.h"
#include "tests/support/palette_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::ScopedEnv;

class ConfigurationTest : public ::testing::Test {
 protected:
  // The test's variables are gone by now.
  void TearDown() override { palette::Configure(); }
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
    EXPECT_EQ(platform::AppleEventTimeLimit(), 10s);
  }
  ScopedEnv limit("TESSALINE_SCRIPT_TIMEOUT_MS", "250000");
  palette::Configure();
  for (const auto& [id, expected] : limits) EXPECT_EQ(platform::ScriptTimeLimit(id), 250000ms) << id;
  EXPECT_EQ(platform::AppleEventTimeLimit(), 250000ms);
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

}  // namespace
