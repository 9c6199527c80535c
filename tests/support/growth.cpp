#include "tests/support/growth.h"

#include <time.h>

#include <algorithm>
#include <limits>
#include <sstream>

namespace testsupport {
namespace {

// Well above linear growth with a log factor and a cache outgrown, well
// below quadratic.
constexpr double kBound = 35;
constexpr int kMeasurements = 3;

}  // namespace

double ThreadSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

::testing::AssertionResult GrowsLinearly(const std::string& what, int32_t n,
                                         const std::function<double(int32_t size)>& timed,
                                         int repeats) {
  std::ostringstream figures;
  for (int m = 0; m < kMeasurements; ++m) {
    double small = std::numeric_limits<double>::infinity();
    double large = small;
    for (int i = 0; i < repeats; ++i) {
      small = std::min(small, timed(n));
      large = std::min(large, timed(10 * n));
    }
    const double ratio = large / small;
    if (m) figures << "; ";
    figures << small << " s at " << n << ", " << large << " s at " << 10 * n << ": " << ratio
            << "x";
    if (ratio < kBound) {
      ::testing::Test::RecordProperty(what + "_growth", figures.str());
      return ::testing::AssertionSuccess();
    }
    if (ratio >= 2 * kBound) break;  // no busy moment does that
  }
  ::testing::Test::RecordProperty(what + "_growth", figures.str());
  return ::testing::AssertionFailure() << what << " grows " << kBound << "x or more from " << n
                                       << " to " << 10 * n << " (" << figures.str() << ")";
}

}  // namespace testsupport
