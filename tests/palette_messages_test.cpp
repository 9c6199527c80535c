// Messages: the palette takes the front for the box and hands it back to
// the host afterwards, telling the user when the host is not there.
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/palette_fixture.h"

namespace {

using testsupport::PaletteTest;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr const char* kActivateMe = "host: acctivemyapp";
constexpr const char* kActivateHost = "host: activate misc actv ART5";
constexpr const char* kStartHost = "message: Illustratorを起動してください。";

class MessagesTest : public PaletteTest {
 protected:
  void SetUp() override {
    host.version = "";  // no folder: opening shows nothing
    Start();
    display.ClearLog();
  }
};

struct MessageCase {
  std::string text;
  bool hostRunning;
  Names log;
};

void PrintTo(const MessageCase& c, std::ostream* os) {
  *os << '"' << c.text << "\"" << (c.hostRunning ? "" : ", host not running");
}

class MessageBoxTest : public MessagesTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageBoxTest, BoxBetweenTakingAndHandingBackTheFront) {
  host.running = GetParam().hostRunning;
  window->my_msgbox(GetParam().text);
  EXPECT_EQ(display.Log(), GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MessageBoxTest,
    ::testing::Values(
        MessageCase{"x", true, {kActivateMe, "message: x", kActivateHost}},
        MessageCase{"x", false, {kActivateMe, "message: x", kActivateHost, kStartHost}},
        MessageCase{"", true, {kActivateMe, "message: ", kActivateHost}},
        MessageCase{"a.jsxが見つかりません\n2行目", true,
                    {kActivateMe, "message: a.jsxが見つかりません\n2行目", kActivateHost}}));

TEST_F(MessagesTest, ActivatingARunningHostShowsNothing) {
  window->AI_ACCTIVE();
  EXPECT_EQ(display.Log(), (Names{kActivateHost}));

  host.running = false;
  window->AI_ACCTIVE();
  EXPECT_EQ(display.Log(), (Names{kActivateHost, kActivateHost, kStartHost}));
}

TEST_F(MessagesTest, MessageWaitsForTheUser) {
  // The host is handed the front only once the box is dismissed.
  std::vector<std::string> whileShown;
  display.AnswerMessage([&] { whileShown = host.calls; });
  host.calls.clear();
  window->my_msgbox("x");
  EXPECT_EQ(whileShown, (Names{"acctivemyapp"}));
  EXPECT_EQ(host.calls, (Names{"acctivemyapp", "activate misc actv ART5"}));
}

// Only setLB1 and the folder button drop what is raised in them; the
// message, the activation and the launcher let it pass to their caller,
// and a double-click lets it reach the framework.
struct Raising {
  const char* name;
  const char* fails;  // the host call that raises
  std::function<void(palette::Window1&)> act;
  Names log;           // everything that happened, up to and with the failure
  bool toFramework = false;  // the action is an event, which the framework ends
};

void PrintTo(const Raising& r, std::ostream* os) { *os << r.name; }

class RaisingTest : public MessagesTest, public ::testing::WithParamInterface<Raising> {};

TEST_P(RaisingTest, ExceptionPassesOn) {
  const Raising& r = GetParam();
  const fs::path folder = MakeFolder("scripts", {"a.jsx"});
  window->gMyScriptFolder = platform::FolderItem::FromPath(folder.string());
  window->setLB1();
  window->LB1()->SetListIndex(0);
  display.ClearLog();
  host.failNext = r.fails;
  if (r.toFramework) {
    r.act(*window);
    EXPECT_TRUE(HasUnhandled());
  } else {
    EXPECT_THROW(r.act(*window), platform::IOException);
    EXPECT_FALSE(HasUnhandled());
  }
  Names log = display.Log();
  std::erase_if(log, [](const std::string& line) { return line.rfind("unhandled:", 0) == 0; });
  for (std::string& line : log) {
    const auto at = line.find(folder.string());
    if (at != std::string::npos) line.replace(at, folder.string().size(), "<scripts>");
  }
  EXPECT_EQ(log, r.log);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, RaisingTest,
    ::testing::Values(
        Raising{"MessageBeforeItsBox", "acctivemyapp",
                [](palette::Window1& w) { w.my_msgbox("x"); }, {kActivateMe}},
        Raising{"MessageAfterItsBox", "activate", [](palette::Window1& w) { w.my_msgbox("x"); },
                {kActivateMe, "message: x", kActivateHost}},
        Raising{"Activation", "activate", [](palette::Window1& w) { w.AI_ACCTIVE(); },
                {kActivateHost}},
        Raising{"LauncherRun", "gojs",
                [](palette::Window1& w) {
                  w.goscript(w.gMyScriptFolder->Child("a.jsx"), "a.jsx");
                },
                {"host: gojs <scripts>/a.jsx"}},
        Raising{"LauncherMessage", "acctivemyapp",
                [](palette::Window1& w) { w.goscript(nullptr, "a.jsx"); }, {kActivateMe}},
        Raising{"DoubleClick", "gojs", [](palette::Window1& w) { w.LB1()->UserDoubleClick(); },
                {"host: gojs <scripts>/a.jsx"}, true}),
    [](const ::testing::TestParamInfo<Raising>& info) { return std::string(info.param.name); });

}  // namespace
