// The quit signals' set-up says what it could not install: a palette that
// would end on SIGTERM without saving says so at start-up.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/qt/quit_signals.h"
#include "tests/support/palette_fixture.h"
#include "tests/support/stderr_capture.h"

namespace {

using testsupport::StderrCapture;
using testsupport::TempDir;

// Every descriptor taken, under a limit of its own, while it lives.
class NoDescriptorsLeft {
 public:
  NoDescriptorsLeft() {
    ::getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit tight = saved_;
    tight.rlim_cur = 64;
    ::setrlimit(RLIMIT_NOFILE, &tight);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken_.push_back(fd);
  }
  ~NoDescriptorsLeft() {
    for (int fd : taken_) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &saved_);
  }

 private:
  rlimit saved_{};
  std::vector<int> taken_;
};

TEST(QuitSignalsTest, NoPipeForTheSignalsIsSaidOnStandardError) {
  TempDir dir;
  StderrCapture capture(dir.path() / "stderr");
  {
    NoDescriptorsLeft full;
    platform::qt::QuitSignals signals;
  }
  EXPECT_NE(capture.Text().find("SIGTERM, SIGINT and SIGHUP will end the program without closing "
                                "its windows: no pipe for them (Too many open files)"),
            std::string::npos);
}

}  // namespace
