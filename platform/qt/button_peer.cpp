// The button.
#include <QApplication>
#include <QFontMetrics>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/bevelbutton.h"
#include "platform/qt/button_peer.h"
#include "platform/qt/content_area.h"
#include "platform/qt/conversions.h"
#include "platform/qt/window_peer.h"

namespace platform::qt {
namespace {

// The framework's text sizes are the Mac's points, one pixel each; a Qt
// point on a desktop screen is larger, so a caption sized for its button
// there can outgrow it here. It is drawn at the size asked for when it
// fits, else at the largest size, in half-point steps down from it, that
// does, and grows back as the button widens.
class CaptionButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

  void SetCaption(const QString& text) {
    setText(text);
    FitWhenShown();
  }
  // 0: the application's size.
  void SetAskedPointSize(int size) {
    asked_ = size;
    FitWhenShown();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QPushButton::resizeEvent(event);
    FitWhenShown();
  }
  void showEvent(QShowEvent* event) override {
    QPushButton::showEvent(event);
    if (fitOwed_) Fit();
  }

 private:
  static constexpr qreal kStep = 0.5;

  // Each size measured costs a font engine (a font match and a load), and
  // a button being set up passes through sizes it is never shown at: a
  // hidden button is fitted once it shows.
  void FitWhenShown() {
    if (isVisible()) Fit();
    else fitOwed_ = true;
  }

  void Fit() {
    fitOwed_ = false;
    QStyleOptionButton option;
    initStyleOption(&option);
    const int room =
        style()->subElementRect(QStyle::SE_PushButtonContents, &option, this).width() -
        2 * kCaptionClearance;
    const qreal asked = asked_ > 0 ? asked_ : QApplication::font(this).pointSizeF();
    const Fitted wanted{text(), asked, room};
    if (fitted_ && *fitted_ == wanted) return;
    fitted_ = wanted;

    // The sizes tried are asked - k * kStep for k = 0, 1, ... while the size
    // is above kStep; the first that fits is taken, the last one otherwise.
    int last = 0;
    while (asked - last * kStep > kStep) ++last;
    QFont font = this->font();
    auto fits = [&](int k) {
      if (k >= last) return true;
      font.setPointSizeF(asked - k * kStep);
      return QFontMetrics(font).horizontalAdvance(text()) <= room;
    };
    font.setPointSizeF(asked);
    const int full = QFontMetrics(font).horizontalAdvance(text());
    int k = 0;
    if (full > room && last > 0) {
      // A text's width grows about in proportion to its size: start at the
      // step that proportion gives, then settle on the first step that
      // fits, measuring one step on either side.
      const qreal scaled = room > 0 ? asked * room / full : 0;
      k = std::clamp(static_cast<int>(std::ceil((asked - scaled) / kStep - 1e-9)), 1, last);
      if (fits(k)) {
        while (k > 1 && fits(k - 1)) --k;
      } else {
        while (!fits(k + 1)) ++k;
        ++k;
      }
    }
    font.setPointSizeF(asked - k * kStep);
    if (font != this->font()) setFont(font);
  }

  struct Fitted {
    QString text;
    qreal asked;
    int room;
    bool operator==(const Fitted&) const = default;
  };

  int asked_ = 0;
  bool fitOwed_ = false;
  std::optional<Fitted> fitted_;
};

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
