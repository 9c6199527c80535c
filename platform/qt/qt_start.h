// Qt's start, guarded: for the time Qt starts, and no longer (the processes
// the application starts see the environment it was given), the plugin Qt
// is to ask for, a pause before each X connection Qt tries again, and the
// one sentence in the place of the abort should Qt still find no display,
// worded only then.
#pragma once

#include <QByteArray>

#include <functional>
#include <optional>
#include <string>

namespace platform::qt {

class QtStart {
 public:
  QtStart(const QByteArray& platform, std::function<std::string()> failure);
  ~QtStart() { Done(); }
  void Done();

 private:
  bool set_;
  bool active_ = false;
  std::optional<QByteArray> old_;
  QByteArray asked_;
};

}  // namespace platform::qt
