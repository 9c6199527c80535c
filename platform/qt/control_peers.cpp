// The button and the timer.
#include <QPushButton>
#include <QTimer>

#include <algorithm>

#include "platform/qt/peers.h"
#include "platform/ui.h"

namespace platform::qt {
namespace {

class QtButtonPeer : public ControlPeer {
 public:
  QtButtonPeer(QtWindowPeer& parent, BevelButton& model)
      : model_(model), area_(parent.content()) {
    button_ = new QPushButton(area_);
    button_->setFocusPolicy(Qt::NoFocus);
    clicked_ = QObject::connect(button_, &QPushButton::clicked, button_, [this] { model_.Push(); });
    RegisterWidget(&model_, button_);
    button_->setText(ToQString(model_.Caption()));
    ApplyFont();
    Place();
    button_->setVisible(model_.BoolProperty("Visible", true));
    button_->setEnabled(model_.BoolProperty("Enabled", true));
  }

  ~QtButtonPeer() override {
    UnregisterWidget(&model_);
    QObject::disconnect(clicked_);
    if (!button_) return;
    if (area_) area_->Forget(button_);
    button_->hide();
    // This may run inside the button's own click.
    button_->deleteLater();
  }

  void Changed(const std::string& what) override {
    if (!button_) return;
    if (what == "Caption") {
      button_->setText(ToQString(model_.Caption()));
    } else if (what == "TextSize") {
      ApplyFont();
    } else if (what == "Left" || what == "Top" || what == "Width" || what == "Height" ||
               what.rfind("Lock", 0) == 0) {
      Place();
    } else if (what == "Visible") {
      button_->setVisible(model_.BoolProperty("Visible", true));
    } else if (what == "Enabled") {
      button_->setEnabled(model_.BoolProperty("Enabled", true));
    }
  }

 private:
  void ApplyFont() {
    const int size = model_.IntProperty("TextSize", 0);
    QFont font = button_->font();
    if (size > 0) font.setPointSize(size);
    button_->setFont(font);
  }

  void Place() {
    if (!area_) return;
    const Ref<Window> window = model_.Window();
    const QSize reference = window ? QSize(window->Width(), window->Height()) : area_->size();
    area_->Place(button_, ToQRect(model_.Bounds()), reference, LocksOf(model_));
  }

  BevelButton& model_;
  QPointer<ContentArea> area_;
  QPointer<QPushButton> button_;
  QMetaObject::Connection clicked_;
};

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

  void Schedule(int32_t mode, int32_t period) override {
    timer_->stop();
    if (mode != 1 && mode != 2) return;
    timer_->setSingleShot(mode == 1);
    timer_->setInterval(std::max(0, period));
    timer_->start();
  }

 private:
  Timer& model_;
  QTimer* timer_;
  QMetaObject::Connection timeout_;
};

}  // namespace

std::unique_ptr<ControlPeer> MakeButtonPeer(QtWindowPeer& parent, BevelButton& model) {
  return std::make_unique<QtButtonPeer>(parent, model);
}

std::unique_ptr<TimerPeer> MakeTimerPeer(Timer& model) {
  return std::make_unique<QtTimerPeer>(model);
}

}  // namespace platform::qt
