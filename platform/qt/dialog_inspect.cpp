#include "platform/qt/dialog_inspect.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionMenuItem>
#include <QTimer>
#include <QTreeView>

#include <memory>

#include "platform/qt/inspect_lookup.h"
#include "platform/qt/top_level_widget.h"
#include "platform/window.h"

namespace platform::dialoginspect {
namespace {

std::string Str(const QString& s) { return s.toStdString(); }

// The entry's text as the menu makes it for drawing, shortcut label included.
struct MenuAccess : QMenu {
  using QMenu::initStyleOption;
};

class LanguageChangeCounter : public QObject {
 public:
  using QObject::QObject;
  int count = 0;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == qApp && event->type() == QEvent::LanguageChange) ++count;
    return false;
  }
};

// A child of the application, gone with it.
QPointer<LanguageChangeCounter>& Counter() {
  static QPointer<LanguageChangeCounter> counter;
  return counter;
}

// The cell shows its text whole, at the view's font, and lies within the view.
bool Fits(QTreeView* view, int column, const QString& text) {
  const QHeaderView* header = view->header();
  const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
  const int room = header->sectionSize(column) - 2 * margin;
  const int left = header->sectionViewportPosition(column);
  return view->fontMetrics().elidedText(text, view->textElideMode(), room) == text && left >= 0 &&
         left + header->sectionSize(column) <= view->viewport()->width();
}

}  // namespace

std::vector<std::string> ShownMenus(const Window& window) {
  std::vector<std::string> shown;
  QMainWindow* w = qtinspect::WindowOf(window);
  if (!w) return shown;
  void (QMenu::*initStyleOption)(QStyleOptionMenuItem*, const QAction*) const =
      &MenuAccess::initStyleOption;
  for (QAction* menuAction : w->menuBar()->actions()) {
    shown.push_back("[" + Str(menuAction->text()) + "]");
    QMenu* menu = menuAction->menu();
    if (!menu) continue;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) {
        shown.push_back("-");
        continue;
      }
      QStyleOptionMenuItem option;
      (menu->*initStyleOption)(&option, a);
      shown.push_back(Str(option.text));
    }
  }
  return shown;
}

std::string QtText(const char* context, const char* source) {
  return Str(QCoreApplication::translate(context, source));
}

void CountLanguageChanges() {
  if (Counter()) return;
  Counter() = new LanguageChangeCounter(qApp);
  qApp->installEventFilter(Counter());
}

int LanguageChanges() {
  return Counter() ? Counter()->count : 0;
}

void LookAtNextFolderDialog(const std::string& folder, const std::string& entry,
                            const std::string& screenshot,
                            std::function<void(const FolderDialogView&)> look) {
  auto* poll = new QTimer(qApp);
  poll->setInterval(10);
  auto clock = std::make_shared<QElapsedTimer>();
  QObject::connect(poll, &QTimer::timeout, poll, [=] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    auto* view = dialog->findChild<QTreeView*>();
    if (!clock->isValid()) {
      clock->start();
      dialog->setDirectory(QString::fromStdString(folder));
      return;
    }
    FolderDialogView seen;
    QModelIndex row;
    if (view) {
      const QModelIndex root = view->rootIndex();
      for (int r = 0; r < view->model()->rowCount(root); ++r) {
        const QModelIndex i = view->model()->index(r, 0, root);
        if (i.data().toString() == QString::fromStdString(entry)) row = i;
      }
    }
    // The details come from a thread of Qt's: wait for them a while.
    const QString type = row.siblingAtColumn(2).data().toString();
    if (type.isEmpty() && clock->elapsed() < 3000) return;
    poll->stop();
    poll->deleteLater();
    if (row.isValid() && !type.isEmpty()) {
      seen.rowFound = true;
      const QString date = row.siblingAtColumn(3).data().toString();
      seen.type = Str(type);
      seen.date = Str(date);
      seen.typeFits = Fits(view, 2, type);
      seen.dateFits = Fits(view, 3, date);
    }
    if (view) {
      for (int c = 0; c < view->model()->columnCount(view->rootIndex()); ++c) {
        seen.headers.push_back(Str(view->model()->headerData(c, Qt::Horizontal).toString()));
      }
    }
    QDir().mkpath(QFileInfo(QString::fromStdString(screenshot)).absolutePath());
    seen.screenshotSaved = dialog->grab().save(QString::fromStdString(screenshot), "PNG");
    if (look) look(seen);
    dialog->reject();
  });
  poll->start();
}

}  // namespace platform::dialoginspect
