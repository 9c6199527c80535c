// Qt's start, guarded: for the time Qt starts, and no longer (the processes
// the application starts see the environment it was given), the plugin Qt
// is to ask for, a pause before each X connection Qt tries again, and the
// one sentence in the place of the abort should Qt still find no display.
#pragma once

#include <QByteArray>

#include <optional>
#include <string>

namespace platform::qt {

class QtStart {
 public:
  QtStart(const QByteArray& platform, std::string failure);
  ~QtStart() { Done(); }
  void Done();

 private:
  bool set_;
  bool active_ = false;
  std::optional<QByteArray> old_;
};

}  // namespace platform::qt
