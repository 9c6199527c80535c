#include "platform/qt/window_peer.h"

#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include <algorithm>

#include "platform/menu.h"
#include "platform/qt/content_area.h"
#include "platform/qt/conversions.h"
#include "platform/qt/shortcut.h"
#include "platform/qt/top_level_widget.h"
#include "platform/qt/window_list.h"
#include "platform/runtime.h"
#include "platform/window.h"

namespace platform::qt {
namespace {

// The user's own pause between two moves of a drag is longer than this; a
// burst of geometry changes (the window manager answering a move and a
// resize one after the other) is reported once, settled. Reading a bound
// of the model settles a pending report at once (SettleBounds).
constexpr int kReportDelayMs = 60;

// A widget's size or position as Qt can take it: the model's values may lie
// near the ends of int (a restored file, a limit of INT32_MAX), and the menu
// bar's height added to one of them would overflow.
int WidgetSize(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, 0, QWIDGETSIZE_MAX)); }
// Qt takes a minimum of exactly QWIDGETSIZE_MAX for none at all.
int WidgetMinimum(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, 0, QWIDGETSIZE_MAX - 1));
}
int WidgetPosition(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

// The whole window, menu bar included, for content at `b`.
QRect FrameGeometry(const Rect& b, int menuBarHeight) {
  return QRect(WidgetPosition(b.left), WidgetPosition(int64_t{b.top} - menuBarHeight),
               WidgetSize(b.width), WidgetSize(int64_t{b.height} + menuBarHeight));
}

}  // namespace

QtWindowPeer::QtWindowPeer(Window& model)
    : model_(model), widget_(new TopLevelWidget(this)), content_(new ContentArea(widget_)) {
  widget_->setAttribute(Qt::WA_DeleteOnClose, false);
  widget_->setCentralWidget(content_);
  widget_->menuBar()->setNativeMenuBar(false);
  widget_->menuBar()->setVisible(false);
  reportTimer_ = new QTimer(widget_);
  reportTimer_->setSingleShot(true);
  reportTimer_->setInterval(kReportDelayMs);
  QObject::connect(reportTimer_, &QTimer::timeout, widget_, [this] { ReportGeometry(); });
  RememberWindow(widget_);
}

QtWindowPeer::~QtWindowPeer() {
  widget_->Detach();
  reportTimer_->stop();
  widget_->hide();
  // Later, not now: this may run inside one of the widget's own handlers
  // (its close button, a menu item's action).
  widget_->deleteLater();
}

void QtWindowPeer::SetTitle(const String& title) { widget_->setWindowTitle(ToQString(title)); }

void QtWindowPeer::SetBounds(const Rect& content) {
  bounds_ = content;
  ApplyBounds();
}

void QtWindowPeer::SetSizeLimits(const SizeLimits& limits) {
  limits_ = limits;
  ApplyMinMax();
}

void QtWindowPeer::SetFrame(WindowFrame frame, const WindowButtons& buttons, bool resizeable) {
  frame_ = frame;
  buttons_ = buttons;
  if (resizeable_ != resizeable) {
    resizeable_ = resizeable;
    ApplyMinMax();
  }
  ApplyFrame();
}

void QtWindowPeer::SetVisible(bool visible) {
  visible_ = visible;
  ApplyVisible();
}

void QtWindowPeer::SetMenuBar(const Ref<MenuBar>& bar, bool visible) {
  menuBar_ = bar;
  menuBarVisible_ = visible;
  BuildMenuBar();
}

int QtWindowPeer::MenuBarHeight(int width) const {
  // What the main window's layout will give the bar: its height for the
  // width, when the bar takes part.
  QMenuBar* bar = widget_->menuBar();
  if (!bar->isVisibleTo(widget_)) return 0;
  bar->ensurePolished();
  int h = bar->heightForWidth(std::max(width, bar->minimumWidth()));
  if (h < 0) h = bar->sizeHint().height();
  return std::clamp(h, std::max(0, bar->minimumSizeHint().height()), bar->maximumHeight());
}

Rect QtWindowPeer::ContentBounds() const {
  const QPoint origin = content_->mapToGlobal(QPoint(0, 0));
  return Rect{origin.x(), origin.y(), content_->width(), content_->height()};
}

void QtWindowPeer::ApplyMinMax() {
  const Rect b = bounds_;
  int64_t minW = limits_.minWidth, minH = limits_.minHeight;
  int64_t maxW = limits_.maxWidth, maxH = limits_.maxHeight;
  if (!resizeable_) {
    minW = maxW = b.width;
    minH = maxH = b.height;
  }
  const int mbh = MenuBarHeight(b.width);
  ++applying_;
  content_->setMinimumSize(WidgetMinimum(minW), WidgetMinimum(minH));
  content_->setMaximumSize(WidgetSize(maxW), WidgetSize(maxH));
  widget_->setMinimumSize(WidgetMinimum(minW), WidgetMinimum(minH + mbh));
  widget_->setMaximumSize(WidgetSize(maxW), WidgetSize(maxH + mbh));
  --applying_;
}

void QtWindowPeer::ApplyBounds() {
  ApplyMinMax();
  const Rect b = bounds_;
  const int mbh = MenuBarHeight(b.width);
  ++applying_;
  widget_->setGeometry(FrameGeometry(b, mbh));
  --applying_;
}

void QtWindowPeer::ApplyFrame() {
  Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (frame_ == WindowFrame::kGlobalFloating) {
    // Above every application's windows.
    flags |= Qt::Tool | Qt::WindowStaysOnTopHint;
    if (buttons_.close) flags |= Qt::WindowCloseButtonHint;
    if (buttons_.minimize) flags |= Qt::WindowMinimizeButtonHint;
  } else {
    flags |= Qt::Window | Qt::WindowSystemMenuHint;
    if (buttons_.close) flags |= Qt::WindowCloseButtonHint;
    if (buttons_.minimize) flags |= Qt::WindowMinimizeButtonHint;
    if (buttons_.maximize && resizeable_) flags |= Qt::WindowMaximizeButtonHint;
  }
  if (widget_->windowFlags() == flags) return;
  const bool shown = widget_->isVisible();
  ++applying_;
  widget_->setWindowFlags(flags);  // hides the window
  --applying_;
  if (shown) {
    ApplyBounds();
    widget_->show();
  }
}

void QtWindowPeer::ApplyVisible() {
  if (!visible_) {
    reportTimer_->stop();
    widget_->hide();
    return;
  }
  ApplyBounds();
  widget_->show();
  // The bar's height is settled only once it is shown; the content area
  // must stand exactly where the model says.
  const int mbh = content_->geometry().top();
  const Rect b = bounds_;
  if (widget_->geometry() != FrameGeometry(b, mbh)) {
    ++applying_;
    widget_->setGeometry(FrameGeometry(b, mbh));
    --applying_;
  }
}

void QtWindowPeer::BuildMenuBar() {
  QMenuBar* qbar = widget_->menuBar();
  // The old menus may be the senders of the action in progress.
  for (QAction* action : qbar->actions()) qbar->removeAction(action);
  for (QPointer<QWidget>& old : oldMenus_) {
    if (old) old->deleteLater();
  }
  oldMenus_.clear();
  const Ref<MenuBar>& bar = menuBar_;
  const bool shown = bar && bar->Count() > 0 && menuBarVisible_;
  if (bar) {
    for (int32_t i = 0; i < bar->Count(); ++i) {
      const Ref<MenuItem> menuItem = bar->Item(i);
      auto* menu = new QMenu(ToQString(menuItem->Text()), qbar);
      oldMenus_.emplace_back(menu);
      qbar->addMenu(menu);
      for (int32_t j = 0; j < menuItem->Count(); ++j) {
        Ref<MenuItem> item = menuItem->Item(j);
        if (item->IsSeparator()) {
          menu->addSeparator();
          continue;
        }
        QAction* action = menu->addAction(ToQString(item->Text()));
        action->setShortcut(ShortcutOf(item->KeyboardShortcut()));
        action->setEnabled(item->AutoEnable());
        QObject::connect(action, &QAction::triggered, action,
                         [item] { DeliverEvent([item] { item->Action(); }); });
      }
    }
  }
  qbar->setVisible(shown);
  ApplyBounds();
}

void QtWindowPeer::GeometryChanged() {
  if (applying_ || !widget_->isVisible()) return;
  reportTimer_->start();
}

void QtWindowPeer::SettleBounds() {
  if (!reportTimer_->isActive()) return;
  reportTimer_->stop();
  ReportGeometry();
}

Margins QtWindowPeer::FrameMargins(int32_t width) const {
  return Margins{0, MenuBarHeight(width), 0, 0};
}

void QtWindowPeer::ReportGeometry() {
  if (!widget_->isVisible()) return;
  const Rect now = ContentBounds();
  if (now == bounds_) return;
  bounds_ = now;
  model_.UserMoved(now);
}

void QtWindowPeer::UserClose() {
  // This peer is gone once the call returns when the window closed.
  model_.UserClose();
}

}  // namespace platform::qt
