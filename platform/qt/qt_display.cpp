// The real display: Qt Widgets.
#include "platform/qt/qt_display.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSessionManager>

#include <optional>

#include "platform/bevelbutton.h"
#include "platform/listbox.h"
#include "platform/qt/display_check.h"
#include "platform/qt/display_watch.h"
#include "platform/qt/modal_boxes.h"
#include "platform/qt/button_peer.h"
#include "platform/qt/conversions.h"
#include "platform/qt/list_peer.h"
#include "platform/qt/qt_start.h"
#include "platform/qt/quit_signals.h"
#include "platform/qt/timer_peer.h"
#include "platform/qt/window_peer.h"
#include "platform/runtime.h"
#include "platform/timer.h"
#include "platform/window.h"

namespace platform {
namespace {

class QtDisplay : public Display {
 public:
  QtDisplay(int& argc, char** argv, const qt::DisplayCheck& check, const DisplayOptions& options)
      : start_(check.platform, check.startFailure),
        app_(argc, argv),
        modals_(QString::fromStdString(options.applicationName),
                QString::fromStdString(options.language)) {
    start_.Done();
    QApplication::setApplicationName(QString::fromStdString(options.applicationName));
    QApplication::setQuitOnLastWindowClosed(false);
    watch_.emplace();
    quitSignals_.emplace();
    QObject::connect(&app_, &QGuiApplication::commitDataRequest, &app_,
                     [](QSessionManager&) { qt::QuitFromOutside(); });
  }

  ~QtDisplay() override {
    quitSignals_.reset();
    watch_.reset();
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
    modals_.ShowBox(QMessageBox::Information, qt::ToQString(text));
  }
  void ShowUnhandledException(const std::string& text) override {
    modals_.ShowBox(QMessageBox::Critical, QString::fromStdString(text));
  }

  std::optional<std::string> ChooseFolder(const FolderDialogTexts& texts) override {
    return modals_.ChooseFolder(texts);
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
    modals_.CloseAll();
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
  qt::QtStart start_;
  QApplication app_;
  // The watch outlives the signals, whose handler reaches it.
  std::optional<qt::DisplayWatch> watch_;
  std::optional<qt::QuitSignals> quitSignals_;
  qt::ModalBoxes modals_;
  bool running_ = false;
  bool quitAsked_ = false;
};

}  // namespace

std::unique_ptr<Display> CreateQtDisplay(int& argc, char** argv, const DisplayOptions& options,
                                         std::string* error) {
  const qt::DisplayCheck check = qt::CheckDisplay(options);
  if (!check.problem.empty()) {
    if (error) *error = check.problem + ".";
    return nullptr;
  }
  auto display = std::make_unique<QtDisplay>(argc, argv, check, options);
  if (std::string problem = qt::CheckStartedDisplay(options); !problem.empty()) {
    if (error) *error = problem + ".";
    return nullptr;
  }
  return display;
}

}  // namespace platform
