// The top-level widget; it reports what the window manager and the user
// do to its peer, while it has one.
#pragma once

#include <QMainWindow>

namespace platform::qt {

class QtWindowPeer;

class TopLevelWidget : public QMainWindow {
 public:
  explicit TopLevelWidget(QtWindowPeer* peer) : peer_(peer) {}
  void Detach() { peer_ = nullptr; }
  QtWindowPeer* peer() const { return peer_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QtWindowPeer* peer_;
};

}  // namespace platform::qt
