#include "platform/qt/qt_inspect.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionViewItem>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

#include "platform/qt/caption_button.h"
#include "platform/qt/inspect_lookup.h"
#include "platform/qt/conversions.h"
#include "platform/qt/top_level_widget.h"
#include "platform/qt/window_peer.h"
#include "platform/bevelbutton.h"
#include "platform/control.h"
#include "platform/listbox.h"
#include "platform/window.h"

namespace platform::qtinspect {

qt::TopLevelWidget* WindowOf(const Window& window) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* top = dynamic_cast<qt::TopLevelWidget*>(w);
    if (top && top->peer() && &top->peer()->model() == &window) return top;
  }
  return nullptr;
}

namespace {

// A control's widget stands on its window's content area under the
// control's name.
QWidget* WidgetOf(const Object& object) {
  const auto* control = dynamic_cast<const Control*>(&object);
  const Ref<Window> window = control ? control->Window() : nullptr;
  qt::TopLevelWidget* top = window ? WindowOf(*window) : nullptr;
  if (!top) return nullptr;
  return top->centralWidget()->findChild<QWidget*>(qt::ToQString(control->Name()),
                                                   Qt::FindDirectChildrenOnly);
}

QTreeView* ViewOf(const Listbox& list) { return qobject_cast<QTreeView*>(WidgetOf(list)); }

QModelIndex VisibleRow(QTreeView* view, int32_t row) {
  QModelIndex index = view->model()->index(0, 0);
  for (int32_t i = 0; i < row && index.isValid(); ++i) index = view->indexBelow(index);
  return index;
}

void SendMouse(QWidget* target, QEvent::Type type, const QPoint& at) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), Qt::LeftButton, held,
                    Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

std::string Str(const QString& s) { return s.toStdString(); }

ModalView Look(QWidget* modal) {
  ModalView view;
  view.title = Str(modal->windowTitle());
  view.staysOnTop = modal->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
  view.overWindow = dynamic_cast<qt::TopLevelWidget*>(modal->parentWidget()) != nullptr;
  if (auto* box = qobject_cast<QMessageBox*>(modal)) view.text = Str(box->text());
  if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
    view.foldersOnly = dialog->fileMode() == QFileDialog::Directory &&
                       dialog->testOption(QFileDialog::ShowDirsOnly);
  }
  std::vector<QLabel*> labels;
  for (QLabel* label : modal->findChildren<QLabel*>()) {
    if (label->isVisible() && !label->text().isEmpty()) labels.push_back(label);
  }
  std::stable_sort(labels.begin(), labels.end(), [modal](QLabel* a, QLabel* b) {
    return a->mapTo(modal, QPoint(0, 0)).y() < b->mapTo(modal, QPoint(0, 0)).y();
  });
  for (QLabel* label : labels) view.labels.push_back(Str(label->text()));
  for (QDialogButtonBox* buttons : modal->findChildren<QDialogButtonBox*>()) {
    for (QAbstractButton* b : buttons->buttons()) {
      if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) view.acceptText = Str(b->text());
      if (buttons->buttonRole(b) == QDialogButtonBox::RejectRole) view.rejectText = Str(b->text());
    }
  }
  return view;
}

}  // namespace

WindowView InspectWindow(const Window& window) {
  WindowView view;
  qt::TopLevelWidget* w = WindowOf(window);
  if (!w) return view;
  view.exists = true;
  view.visible = w->isVisible();
  view.title = Str(w->windowTitle());
  view.frame = qt::ToRect(w->geometry());
  QWidget* content = w->centralWidget();
  const QPoint origin = content->mapToGlobal(QPoint(0, 0));
  view.content = Rect{origin.x(), origin.y(), content->width(), content->height()};
  view.minWidth = content->minimumWidth();
  view.minHeight = content->minimumHeight();
  view.maxWidth = content->maximumWidth();
  view.maxHeight = content->maximumHeight();
  view.frameMinHeight = w->minimumHeight();
  view.frameMaxHeight = w->maximumHeight();
  view.floating = w->windowFlags().testFlag(Qt::Tool) &&
                  w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
  QMenuBar* bar = w->menuBar();
  if (bar->isVisible()) view.menuBar = qt::ToRect(bar->geometry());
  for (QAction* menuAction : bar->actions()) {
    Menu menu{Str(menuAction->text()), {}};
    if (QMenu* m = menuAction->menu()) {
      for (QAction* a : m->actions()) {
        menu.entries.push_back(MenuEntry{a->isSeparator() ? "-" : Str(a->text()),
                                         Str(a->shortcut().toString(QKeySequence::PortableText)),
                                         a->isSeparator(), a->isEnabled()});
      }
    }
    view.menus.push_back(std::move(menu));
  }
  return view;
}

int LiveWindowWidgets() {
  int n = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (dynamic_cast<qt::TopLevelWidget*>(w)) ++n;
  }
  return n;
}

Rect ControlGeometry(const Object& control) {
  QWidget* w = WidgetOf(control);
  return w ? qt::ToRect(w->geometry()) : Rect{};
}

ButtonView InspectButton(const BevelButton& button) {
  ButtonView view;
  auto* b = qobject_cast<QPushButton*>(WidgetOf(button));
  if (!b) return view;
  view.text = Str(b->text());
  view.pointSize = b->font().pointSizeF();
  QStyleOptionButton option;
  option.initFrom(b);
  option.text = b->text();
  const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b);
  view.captionFits = b->fontMetrics().horizontalAdvance(b->text()) <= room.width();
  const int asked = button.IntProperty("TextSize", 0);
  qreal size = asked > 0 ? asked : QApplication::font(b).pointSizeF();
  QFont font = b->font();
  const int fitRoom = room.width() - 2 * qt::kCaptionClearance;
  for (;; size -= 0.5) {
    font.setPointSizeF(size);
    if (size <= 0.5 || QFontMetrics(font).horizontalAdvance(b->text()) <= fitRoom) break;
  }
  view.stepwisePointSize = size;
  return view;
}

ListView InspectList(const Listbox& list) {
  ListView view;
  QTreeView* tree = ViewOf(list);
  if (!tree) return view;
  const QModelIndex current = tree->currentIndex();
  QStyleOptionViewItem option;
  option.initFrom(tree);
  option.font = tree->font();
  option.fontMetrics = tree->fontMetrics();
  for (QModelIndex i = tree->model()->index(0, 0); i.isValid(); i = tree->indexBelow(i)) {
    std::string row;
    for (QModelIndex p = i.parent(); p.isValid(); p = p.parent()) row += "  ";
    if (tree->model()->hasChildren(i)) row += tree->isExpanded(i) ? "- " : "+ ";
    row += Str(i.data().toString());
    if (current.isValid() && current.siblingAtColumn(0) == i) {
      view.current = static_cast<int32_t>(view.rows.size());
    }
    view.rows.push_back(std::move(row));
    view.rowHeights.push_back(tree->visualRect(i).height());
    view.rowHintHeights.push_back(tree->itemDelegate()->sizeHint(option, i).height());
    bool drawable = true;
    for (const char32_t u : i.data().toString().toUcs4()) {
      drawable = drawable && tree->fontMetrics().inFontUcs4(u);
    }
    view.rowsDrawable.push_back(drawable);
  }
  view.columns = tree->model()->columnCount(QModelIndex());
  view.pointSize = tree->font().pointSize();
  view.headerHidden = tree->isHeaderHidden();
  view.hierarchical = tree->rootIsDecorated() && tree->itemsExpandable();
  view.horizontalBarNever = tree->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff;
  view.verticalBarAsNeeded = tree->verticalScrollBarPolicy() == Qt::ScrollBarAsNeeded;
  return view;
}

void ProcessEvents(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  } while (clock.elapsed() < milliseconds);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    ProcessEvents(5);
  }
  return true;
}

namespace {
// Clicks `clicks` times at the shown row, at its centre or on its
// disclosure triangle; nothing when there is no such row.
void ClickShownRow(const Listbox& list, int32_t row, bool onTriangle, int clicks) {
  QTreeView* tree = ViewOf(list);
  const QModelIndex index = tree ? VisibleRow(tree, row) : QModelIndex();
  if (!index.isValid()) return;
  const QRect r = tree->visualRect(index);
  const QPoint at = onTriangle ? QPoint(r.left() - tree->indentation() / 2, r.center().y())
                               : r.center();
  for (int i = 0; i < clicks; ++i) {
    SendMouse(tree->viewport(), i == 0 ? QEvent::MouseButtonPress : QEvent::MouseButtonDblClick,
              at);
    SendMouse(tree->viewport(), QEvent::MouseButtonRelease, at);
  }
}
}  // namespace

void ClickDisclosure(const Listbox& list, int32_t row) { ClickShownRow(list, row, true, 1); }
void ClickRow(const Listbox& list, int32_t row) { ClickShownRow(list, row, false, 1); }
void DoubleClickRow(const Listbox& list, int32_t row) { ClickShownRow(list, row, false, 2); }

void ClickButton(const BevelButton& button) {
  auto* b = qobject_cast<QPushButton*>(WidgetOf(button));
  if (!b) return;
  const QPoint at = b->rect().center();
  SendMouse(b, QEvent::MouseButtonPress, at);
  SendMouse(b, QEvent::MouseButtonRelease, at);
}

void ResizeByUser(const Window& window, int32_t width, int32_t height) {
  qt::TopLevelWidget* w = WindowOf(window);
  if (!w) return;
  const int bar = w->centralWidget()->geometry().top();
  w->resize(width, height + bar);
}

void CloseByUser(const Window& window) {
  if (qt::TopLevelWidget* w = WindowOf(window)) w->close();
}

bool TriggerMenuItem(const Window& window, int32_t menu, int32_t entry) {
  qt::TopLevelWidget* w = WindowOf(window);
  if (!w) return false;
  const QList<QAction*> menus = w->menuBar()->actions();
  if (menu < 0 || menu >= menus.size() || !menus[menu]->menu()) return false;
  const QList<QAction*> entries = menus[menu]->menu()->actions();
  if (entry < 0 || entry >= entries.size()) return false;
  entries[entry]->trigger();
  return true;
}

void AnswerNextModal(std::function<void(const ModalView&)> look,
                     std::optional<std::string> folder) {
  auto* poll = new QTimer(qApp);
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, look = std::move(look), folder] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    if (look) look(Look(modal));
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (!dialog) return;
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      if (!folder) {
        files->reject();
        return;
      }
      files->setDirectory(QFileInfo(QString::fromStdString(*folder)).absolutePath());
      // selectFile leaves the name field alone while the field has the
      // focus, which it takes whenever the dialog is activated.
      if (QWidget* focused = files->focusWidget()) focused->clearFocus();
      files->selectFile(QString::fromStdString(*folder));
    }
    dialog->accept();
    // A dialog that will not take the answer (a file dialog that opens the
    // folder instead of choosing it) is cancelled, so that the test goes on
    // to its failure instead of waiting for a user.
    QTimer::singleShot(500, dialog, [dialog] {
      if (dialog->isVisible()) dialog->reject();
    });
  });
  poll->start();
}

void RunLater(int milliseconds, std::function<void()> work) {
  QTimer::singleShot(milliseconds, qApp, std::move(work));
}

bool SaveScreenshot(const Window& window, const std::string& path) {
  qt::TopLevelWidget* w = WindowOf(window);
  if (!w) return false;
  QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
  return w->grab().save(QString::fromStdString(path), "PNG");
}

}  // namespace platform::qtinspect
