#include "platform/qt/caption_button.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <cmath>

namespace platform::qt {

void CaptionButton::SetCaption(const QString& text) {
  setText(text);
  FitWhenShown();
}

void CaptionButton::SetAskedPointSize(int size) {
  asked_ = size;
  FitWhenShown();
}

void CaptionButton::resizeEvent(QResizeEvent* event) {
  QPushButton::resizeEvent(event);
  FitWhenShown();
}

void CaptionButton::showEvent(QShowEvent* event) {
  QPushButton::showEvent(event);
  if (fitOwed_) Fit();
}

void CaptionButton::FitWhenShown() {
  if (isVisible()) Fit();
  else fitOwed_ = true;
}

void CaptionButton::Fit() {
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

}  // namespace platform::qt
