#include "platform/qt/content_area.h"

#include <algorithm>

#include "platform/qt/conversions.h"

namespace platform::qt {

QRect LockedGeometry(const QRect& design, const QSize& reference, const QSize& current,
                     const Locks& locks) {
  const int dw = current.width() - reference.width();
  const int dh = current.height() - reference.height();
  QRect r = design;
  if (locks.left && locks.right) {
    r.setWidth(std::max(0, design.width() + dw));
  } else if (locks.right) {
    r.moveLeft(design.left() + dw);
  }
  if (locks.top && locks.bottom) {
    r.setHeight(std::max(0, design.height() + dh));
  } else if (locks.bottom) {
    r.moveTop(design.top() + dh);
  }
  return r;
}

void ContentArea::Place(QWidget* widget, const QRect& design, const QSize& reference,
                        const Locks& locks) {
  auto it = std::find_if(placed_.begin(), placed_.end(),
                         [widget](const Placed& p) { return p.widget == widget; });
  if (it == placed_.end()) it = placed_.insert(placed_.end(), Placed{widget, {}, {}, {}});
  it->design = design;
  it->reference = reference;
  it->locks = locks;
  Arrange(*it);
}

void ContentArea::Place(QWidget* widget, const Rect& design, const Size& reference,
                        const Locks& locks) {
  const bool empty = reference.width <= 0 || reference.height <= 0;
  Place(widget, ToQRect(design), empty ? size() : QSize(reference.width, reference.height), locks);
}

void ContentArea::Forget(QWidget* widget) {
  placed_.erase(std::remove_if(placed_.begin(), placed_.end(),
                               [widget](const Placed& p) {
                                 return p.widget.isNull() || p.widget == widget;
                               }),
                placed_.end());
}

void ContentArea::Arrange(Placed& placed) {
  if (placed.widget) {
    placed.widget->setGeometry(
        LockedGeometry(placed.design, placed.reference, size(), placed.locks));
  }
}

void ContentArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  for (Placed& p : placed_) Arrange(p);
}

}  // namespace platform::qt
