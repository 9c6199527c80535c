#include "platform/qt/button_peer.h"

#include <QPointer>

#include <algorithm>

#include "platform/bevelbutton.h"
#include "platform/qt/caption_button.h"
#include "platform/qt/content_area.h"
#include "platform/qt/conversions.h"
#include "platform/qt/window_peer.h"

namespace platform::qt {
namespace {

class QtButtonPeer : public ButtonPeer {
 public:
  QtButtonPeer(QtWindowPeer& parent, BevelButton& model)
      : model_(model), area_(parent.content()) {
    button_ = new CaptionButton(area_);
    button_->setFocusPolicy(Qt::NoFocus);
    clicked_ = QObject::connect(button_, &QPushButton::clicked, button_, [this] { model_.Push(); });
  }

  ~QtButtonPeer() override {
    QObject::disconnect(clicked_);
    if (!button_) return;
    if (area_) area_->Forget(button_);
    button_->hide();
    // This may run inside the button's own click.
    button_->deleteLater();
  }

  void SetCaption(const String& caption) override {
    if (button_) button_->SetCaption(ToQString(caption));
  }
  // 0 or less: the application's size.
  void SetTextSize(int32_t size) override {
    if (button_) button_->SetAskedPointSize(std::max(0, size));
  }
  void SetBounds(const Rect& design, const Size& reference, const Locks& locks) override {
    if (button_ && area_) area_->Place(button_, design, reference, locks);
  }
  void SetVisible(bool visible) override {
    if (button_) button_->setVisible(visible);
  }
  void SetEnabled(bool enabled) override {
    if (button_) button_->setEnabled(enabled);
  }
  void SetName(const String& name) override {
    if (button_) button_->setObjectName(ToQString(name));
  }

 private:

  BevelButton& model_;
  QPointer<ContentArea> area_;
  QPointer<CaptionButton> button_;
  QMetaObject::Connection clicked_;
};

}  // namespace

std::unique_ptr<ButtonPeer> MakeButtonPeer(QtWindowPeer& parent, BevelButton& model) {
  return std::make_unique<QtButtonPeer>(parent, model);
}

}  // namespace platform::qt
