// The window's content area: controls stand on it at absolute positions
// and follow its size by their locks.
#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <vector>

#include "platform/display.h"

namespace platform::qt {

// Where a control designed at `design` on a content area of `reference`
// size goes on one of `current` size: an edge locked on both sides
// stretches, one locked only on the far side keeps its distance to it.
QRect LockedGeometry(const QRect& design, const QSize& reference, const QSize& current,
                     const Locks& locks);

class ContentArea : public QWidget {
 public:
  explicit ContentArea(QWidget* parent) : QWidget(parent) {}
  // (Re)places `widget`; `reference` is the window size its bounds were
  // given for.
  void Place(QWidget* widget, const QRect& design, const QSize& reference, const Locks& locks);
  // Likewise, for an empty reference at the area's present size.
  void Place(QWidget* widget, const Rect& design, const Size& reference, const Locks& locks);
  void Forget(QWidget* widget);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct Placed {
    QPointer<QWidget> widget;
    QRect design;
    QSize reference;
    Locks locks;
  };
  void Arrange(Placed& placed);
  std::vector<Placed> placed_;
};

}  // namespace platform::qt
