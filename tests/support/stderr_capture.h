// What the program writes on standard error while a test looks.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

namespace testsupport {

// Sends our standard error, and so that of the programs we start, to
// `file` while it lives.
class StderrCapture {
 public:
  explicit StderrCapture(std::filesystem::path file) : file_(std::move(file)) {
    std::fflush(stderr);
    saved_ = ::dup(2);
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, 2);
    ::close(fd);
  }
  ~StderrCapture() { Restore(); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Ends the capture: what was written.
  std::string Text() {
    Restore();
    std::ifstream in(file_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  std::filesystem::path file_;
  int saved_ = -1;
};

}  // namespace testsupport
