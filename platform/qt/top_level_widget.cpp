#include "platform/qt/top_level_widget.h"

#include <QCloseEvent>

#include "platform/qt/window_peer.h"

namespace platform::qt {

void TopLevelWidget::closeEvent(QCloseEvent* event) {
  // The model decides: its Close handler runs, and it lets the peer go,
  // which takes this widget away.
  event->ignore();
  if (peer_) peer_->UserClose();
}

void TopLevelWidget::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (peer_) peer_->GeometryChanged();
}

void TopLevelWidget::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (peer_) peer_->GeometryChanged();
}

}  // namespace platform::qt
