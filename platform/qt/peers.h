// The Qt display's peers and the pieces they share. Internal to platform/qt.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

#include "platform/display.h"
#include "platform/text.h"

class QTimer;

namespace platform {
class Window;
class Listbox;
class BevelButton;
class Timer;
class MenuBar;
}  // namespace platform

namespace platform::qt {

inline QString ToQString(const String& text) { return QString::fromStdString(text.str()); }
inline QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.width, r.height); }
inline Rect ToRect(const QRect& r) { return Rect{r.x(), r.y(), r.width(), r.height()}; }

// A button's caption keeps this many pixels clear of the bevel on either
// side; what is left is the room it is fitted to.
constexpr int kCaptionClearance = 2;

// Where a control designed at `design` on a content area of `reference`
// size goes on one of `current` size: an edge locked on both sides
// stretches, one locked only on the far side keeps its distance to it.
QRect LockedGeometry(const QRect& design, const QSize& reference, const QSize& current,
                     const Locks& locks);

// The window's content area: controls stand on it at absolute positions
// and follow its size by their locks.
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

class QtWindowPeer;

// The top-level widget; it reports what the window manager and the user
// do to its peer, while it has one.
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

class QtWindowPeer : public WindowPeer {
 public:
  explicit QtWindowPeer(Window& model);
  ~QtWindowPeer() override;
  void SetTitle(const String& title) override;
  void SetBounds(const Rect& content) override;
  void SetSizeLimits(const SizeLimits& limits) override;
  void SetFrame(WindowFrame frame, const WindowButtons& buttons, bool resizeable) override;
  void SetVisible(bool visible) override;
  void SetMenuBar(const Ref<MenuBar>& bar, bool visible) override;
  void SettleBounds() override;
  Margins FrameMargins(int32_t width) const override;

  Window& model() const { return model_; }
  TopLevelWidget* widget() const { return widget_; }
  ContentArea* content() const { return content_; }
  // The content area's bounds on the screen, as the model counts them.
  Rect ContentBounds() const;
  int MenuBarHeight(int width) const;

  // From the widget.
  void GeometryChanged();
  void UserClose();

 private:
  void ApplyBounds();
  void ApplyMinMax();
  void ApplyFrame();
  void ApplyVisible();
  void BuildMenuBar();
  void ReportGeometry();

  Window& model_;
  // What the model last said.
  Rect bounds_;
  SizeLimits limits_;
  WindowFrame frame_ = WindowFrame::kDocument;
  WindowButtons buttons_;
  bool resizeable_ = true;
  bool visible_ = false;
  Ref<MenuBar> menuBar_;
  bool menuBarVisible_ = true;
  TopLevelWidget* widget_;
  ContentArea* content_;
  QTimer* reportTimer_;
  std::vector<QPointer<QWidget>> oldMenus_;
  int applying_ = 0;
};

std::unique_ptr<ListboxPeer> MakeListboxPeer(QtWindowPeer& parent, Listbox& model);
std::unique_ptr<ButtonPeer> MakeButtonPeer(QtWindowPeer& parent, BevelButton& model);
std::unique_ptr<TimerPeer> MakeTimerPeer(Timer& model);

// The widget showing a model (a window, a list, a button), while it has
// one; what inspection finds its way by.
void RegisterWidget(const void* model, QWidget* widget);
void UnregisterWidget(const void* model);
QWidget* WidgetOf(const void* model);
// The top-level windows whose models are still open, oldest first.
std::vector<TopLevelWidget*> LiveWindows();
// The window a modal box stands in front of: the active one of these
// windows, else the newest shown one; nullptr when none is shown.
QWidget* DialogParent();

}  // namespace platform::qt
