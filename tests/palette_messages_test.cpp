// Messages: the palette takes the front for the box and hands it back to
// the host afterwards, telling the user when the host is not there.
#include <gtest/gtest.h>

#include "tests/support/palette_fixture.h"

namespace {

using testsupport::PaletteTest;
using Names = std::vector<std::string>;

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

}  // namespace
