// The real display: Qt Widgets.
#include "platform/qt/qt_display.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSessionManager>
#include <QTranslator>

#include <optional>

#include "platform/bevelbutton.h"
#include "platform/listbox.h"
#include "platform/qt/display_check.h"
#include "platform/qt/peers.h"
#include "platform/qt/qt_start.h"
#include "platform/qt/quit_signals.h"
#include "platform/runtime.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace platform {
namespace {

class QtDisplay : public Display {
 public:
  QtDisplay(int& argc, char** argv, const qt::DisplayCheck& check, const DisplayOptions& options)
      : start_(check.platform, check.startFailure), app_(argc, argv), options_(options) {
    start_.Done();
    // Qt's own texts in its dialogs ("Cancel", "Look in:") in the
    // application's language, whatever the system's locale.
    if (!options_.language.empty() &&
        translator_.load(QStringLiteral("qtbase_") + QString::fromStdString(options_.language),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      QCoreApplication::installTranslator(&translator_);
    }
    QApplication::setApplicationName(QString::fromStdString(options_.applicationName));
    QApplication::setQuitOnLastWindowClosed(false);
    quitSignals_.emplace();
    QObject::connect(&app_, &QGuiApplication::commitDataRequest, &app_,
                     [](QSessionManager&) { qt::QuitFromOutside(); });
  }

  ~QtDisplay() override {
    quitSignals_.reset();
    // The peers' widgets that were let go while no loop ran.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  std::unique_ptr<WindowPeer> CreateWindowPeer(Window& model) override {
    return std::make_unique<qt::QtWindowPeer>(model);
  }
  std::unique_ptr<ListboxPeer> CreateListboxPeer(WindowPeer& parent, Listbox& model) override {
    return qt::MakeListboxPeer(dynamic_cast<qt::QtWindowPeer&>(parent), model);
  }
  std::unique_ptr<ButtonPeer> CreateButtonPeer(WindowPeer& parent, BevelButton& model) override {
    return qt::MakeButtonPeer(dynamic_cast<qt::QtWindowPeer&>(parent), model);
  }
  std::unique_ptr<TimerPeer> CreateTimerPeer(Timer& model) override {
    return qt::MakeTimerPeer(model);
  }

  void ShowMessage(const String& text) override {
    ShowBox(QMessageBox::Information, qt::ToQString(text));
  }
  void ShowUnhandledException(const std::string& text) override {
    ShowBox(QMessageBox::Critical, QString::fromStdString(text));
  }

  std::optional<std::string> ChooseFolder(const FolderDialogTexts& texts) override {
    if (quitting_) return std::nullopt;
    QFileDialog dialog(qt::DialogParent(), qt::ToQString(texts.title));
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.setFileMode(QFileDialog::Directory);
    // Qt's own dialog: a desktop's native one would not show the prompt.
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (!texts.actionButtonCaption.IsEmpty()) {
      dialog.setLabelText(QFileDialog::Accept, qt::ToQString(texts.actionButtonCaption));
    }
    if (!texts.promptText.IsEmpty()) AddPrompt(dialog, qt::ToQString(texts.promptText));
    if (Exec(dialog) != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return QDir(chosen.first()).absolutePath().toStdString();
  }

  void Run() override {
    if (quitAsked_) {
      quitAsked_ = false;
      return;
    }
    running_ = true;
    QApplication::exec();
    running_ = false;
    quitAsked_ = false;
  }

  void Quit() override {
    // Nothing is left waiting on the user: a box or dialog still up goes,
    // and none comes up afterwards.
    quitting_ = true;
    for (auto it = modals_.rbegin(); it != modals_.rend(); ++it) {
      if (*it) (*it)->done(QDialog::Rejected);
    }
    // exit() does nothing while no loop runs; a Quit before Run must
    // still end it.
    if (running_) QApplication::exit(0);
    else quitAsked_ = true;
  }

  std::vector<Rect> Screens() const override {
    std::vector<Rect> screens;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) screens.push_back(qt::ToRect(primary->availableGeometry()));
    for (QScreen* s : QGuiApplication::screens()) {
      if (s != primary) screens.push_back(qt::ToRect(s->availableGeometry()));
    }
    return screens;
  }

 private:
  void ShowBox(QMessageBox::Icon icon, const QString& text) {
    if (quitting_) return;
    QMessageBox box(icon, QString::fromStdString(options_.applicationName), text, QMessageBox::Ok,
                    qt::DialogParent());
    // In front of the palette, which floats above everything.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    Exec(box);
  }

  int Exec(QDialog& dialog) {
    modals_.emplace_back(&dialog);
    const int result = dialog.exec();
    modals_.pop_back();
    return result;
  }

  // The prompt goes above everything else in the dialog.
  static void AddPrompt(QFileDialog& dialog, const QString& prompt) {
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    auto* label = new QLabel(prompt, &dialog);
    label->setObjectName(QStringLiteral("tessalinePrompt"));
    label->setWordWrap(true);
    if (!grid) {
      if (dialog.layout()) dialog.layout()->addWidget(label);
      return;
    }
    struct Cell {
      QLayoutItem* item;
      int row, column, rowSpan, columnSpan;
    };
    std::vector<Cell> cells;
    for (int i = 0; i < grid->count(); ++i) {
      Cell c{grid->itemAt(i), 0, 0, 1, 1};
      grid->getItemPosition(i, &c.row, &c.column, &c.rowSpan, &c.columnSpan);
      cells.push_back(c);
    }
    while (grid->count() > 0) grid->takeAt(0);
    const int columns = std::max(1, grid->columnCount());
    grid->addWidget(label, 0, 0, 1, columns);
    for (const Cell& c : cells) grid->addItem(c.item, c.row + 1, c.column, c.rowSpan, c.columnSpan);
  }

  qt::QtStart start_;
  QApplication app_;
  DisplayOptions options_;
  QTranslator translator_;
  std::optional<qt::QuitSignals> quitSignals_;
  std::vector<QPointer<QDialog>> modals_;  // the boxes and dialogs up, innermost last
  bool running_ = false;
  bool quitAsked_ = false;
  bool quitting_ = false;
};

}  // namespace

std::unique_ptr<Display> CreateQtDisplay(int& argc, char** argv, const DisplayOptions& options,
                                         std::string* error) {
  const qt::DisplayCheck check = qt::CheckDisplay(options);
  if (!check.problem.empty()) {
    if (error) *error = check.problem + ".";
    return nullptr;
  }
  return std::make_unique<QtDisplay>(argc, argv, check, options);
}

}  // namespace platform
