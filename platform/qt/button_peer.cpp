// The button.
#include <QApplication>
#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

#include "platform/bevelbutton.h"
#include "platform/qt/peers.h"

namespace platform::qt {
namespace {

// The framework's text sizes are the Mac's points, one pixel each; a Qt
// point on a desktop screen is larger, so a caption sized for its button
// there can outgrow it here. It is drawn at the size asked for when it
// fits, else at the largest size that does, and grows back as the button
// widens.
class CaptionButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

  void SetCaption(const QString& text) {
    setText(text);
    Fit();
  }
  // 0: the application's size.
  void SetAskedPointSize(int size) {
    asked_ = size;
    Fit();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QPushButton::resizeEvent(event);
    Fit();
  }

 private:
  static constexpr qreal kStep = 0.5;
  // Clear of the bevel on either side.
  static constexpr int kSlack = 2;

  void Fit() {
    QStyleOptionButton option;
    initStyleOption(&option);
    const int room =
        style()->subElementRect(QStyle::SE_PushButtonContents, &option, this).width() -
        2 * kSlack;
    QFont font = this->font();
    qreal size = asked_ > 0 ? asked_ : QApplication::font(this).pointSizeF();
    font.setPointSizeF(size);
    while (size > kStep && QFontMetrics(font).horizontalAdvance(text()) > room) {
      size -= kStep;
      font.setPointSizeF(size);
    }
    if (font != this->font()) setFont(font);
  }

  int asked_ = 0;
};

class QtButtonPeer : public ButtonPeer {
 public:
  QtButtonPeer(QtWindowPeer& parent, BevelButton& model)
      : model_(model), area_(parent.content()) {
    button_ = new CaptionButton(area_);
    button_->setFocusPolicy(Qt::NoFocus);
    clicked_ = QObject::connect(button_, &QPushButton::clicked, button_, [this] { model_.Push(); });
    RegisterWidget(&model_, button_);
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
