// How a piece of work grows with its size: the guard against a step that
// turns quadratic in the length of a list or a scripts folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

namespace testsupport {

// The calling thread's processor time, in seconds: what other processes
// take of a busy machine does not count.
double ThreadSeconds();

// The processor seconds `work` takes.
template <class Work>
double SecondsOf(Work&& work) {
  const double start = ThreadSeconds();
  work();
  return ThreadSeconds() - start;
}

// Whether `timed(size)`, which answers the seconds its measured part took
// (from SecondsOf),
// grows from n to 10n as linear work does (about 10x; quadratic work grows
// about 100x). Each size runs `repeats` times by turns and the fastest runs
// are compared, since a busy machine only ever slows a run; a ratio just
// over the bound is measured again, as a quadratic step is over it every
// time. The figures go into the test's properties as `what`_growth.
::testing::AssertionResult GrowsLinearly(const std::string& what, int32_t n,
                                         const std::function<double(int32_t size)>& timed,
                                         int repeats = 5);

}  // namespace testsupport
