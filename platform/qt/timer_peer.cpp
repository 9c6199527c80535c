// The timer.
#include <QTimer>

#include <algorithm>

#include "platform/qt/timer_peer.h"
#include "platform/timer.h"

namespace platform::qt {
namespace {

class QtTimerPeer : public TimerPeer {
 public:
  explicit QtTimerPeer(Timer& model) : model_(model), timer_(new QTimer()) {
    timer_->setTimerType(Qt::CoarseTimer);
    timeout_ = QObject::connect(timer_, &QTimer::timeout, timer_, [this] { model_.Fire(); });
  }

  ~QtTimerPeer() override {
    QObject::disconnect(timeout_);
    timer_->stop();
    // This may run inside the timer's own timeout.
    timer_->deleteLater();
  }

  void Schedule(TimerMode mode, int32_t period) override {
    timer_->stop();
    if (mode == TimerMode::kOff) return;
    timer_->setSingleShot(mode == TimerMode::kSingle);
    timer_->setInterval(std::max(0, period));
    timer_->start();
  }

 private:
  Timer& model_;
  QTimer* timer_;
  QMetaObject::Connection timeout_;
};

}  // namespace

std::unique_ptr<TimerPeer> MakeTimerPeer(Timer& model) {
  return std::make_unique<QtTimerPeer>(model);
}

}  // namespace platform::qt
