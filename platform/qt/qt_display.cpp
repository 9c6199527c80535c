// The real display: Qt Widgets.
#include "platform/qt/qt_display.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPluginLoader>
#include <QPointer>
#include <QScreen>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTranslator>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/qt/peers.h"
#include "platform/runtime.h"
#include "platform/bevelbutton.h"
#include "platform/listbox.h"
#include "platform/timer.h"
#include "platform/window.h"
#include "platform/process.h"

namespace platform {
namespace {

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// One sentence for the user: the application's name, what went wrong, and
// how to get a display.
std::string Sentence(const DisplayOptions& options, const std::string& what) {
  std::string sentence = options.applicationName + " " + what;
  if (!options.noDisplayHint.empty()) sentence += "; " + options.noDisplayHint;
  return sentence;
}

// Qt ends the process with an abort when its platform plugin cannot reach
// the display, so an X display that will not answer is found beforehand,
// with libxcb (which the xcb plugin loads anyway) opened by hand. The
// connection is held until Qt has made its own: a server that has just
// seen a client go may refuse the next one for a moment (Xvfb does, a few
// times in a hundred), and Qt's must not be that next one.
class X11Probe {
 public:
  enum class Result { kReachable, kUnreachable, kNoSuchScreen, kUnknown };

  X11Probe() = default;
  X11Probe(const X11Probe&) = delete;
  X11Probe& operator=(const X11Probe&) = delete;
  ~X11Probe() {
    if (connection_) disconnect_(connection_);
    if (xcb_) dlclose(xcb_);
  }

  Result Connect(const char* display) {
    xcb_ = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!xcb_) return Result::kUnknown;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    auto connect = reinterpret_cast<Connect>(dlsym(xcb_, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(xcb_, "xcb_connection_has_error"));
    disconnect_ = reinterpret_cast<Disconnect>(dlsym(xcb_, "xcb_disconnect"));
    if (!connect || !hasError || !disconnect_) return Result::kUnknown;
    // xcb's XCB_CONN_CLOSED_INVALID_SCREEN: the server has no such screen.
    constexpr int kInvalidScreen = 6;
    // A refusal is tried again after a pause that doubles: 310 ms in all
    // before a display counts as unreachable.
    constexpr int kAttempts = 6;
    for (int attempt = 1;; ++attempt) {
      void* c = connect(display, &screen_);
      const int error = hasError(c);
      if (!error) {
        connection_ = c;
        return Result::kReachable;
      }
      disconnect_(c);  // also frees a connection in error
      if (error == kInvalidScreen) return Result::kNoSuchScreen;
      if (attempt == kAttempts) return Result::kUnreachable;
      std::this_thread::sleep_for(std::chrono::milliseconds(10 << (attempt - 1)));
    }
  }

  int screen() const { return screen_; }

 private:
  using Disconnect = void (*)(void*);
  void* xcb_ = nullptr;
  void* connection_ = nullptr;
  Disconnect disconnect_ = nullptr;
  int screen_ = 0;
};

bool HaveWaylandPlugin() {
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                       QStringLiteral("/platforms"));
  return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

// Whether a platform plugin answering to `name` is installed where Qt looks
// for one; Qt aborts when the plugin it is asked for is not there.
bool PlatformPluginInstalled(const QString& name) {
  QStringList folders;
  const QString own = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
  if (!own.isEmpty()) folders << own;
  for (const QString& path :
       qEnvironmentVariable("QT_PLUGIN_PATH").split(QDir::listSeparator(), Qt::SkipEmptyParts)) {
    folders << path + QStringLiteral("/platforms");
  }
  folders << QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
  folders << QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() +
                 QStringLiteral("/platforms");
  for (const QString& folder : folders) {
    const QDir dir(folder);
    for (const QString& file : dir.entryList(QDir::Files)) {
      // The plugin's own record, read without loading it.
      const QJsonObject meta = QPluginLoader(dir.filePath(file)).metaData();
      if (!meta.value(QStringLiteral("IID")).toString().contains(
              QStringLiteral("QPlatformIntegrationFactoryInterface"))) {
        continue;
      }
      const QJsonArray keys =
          meta.value(QStringLiteral("MetaData")).toObject().value(QStringLiteral("Keys")).toArray();
      for (const QJsonValue& key : keys) {
        if (key.toString().compare(name, Qt::CaseInsensitive) == 0) return true;
      }
    }
  }
  return false;
}

struct DisplayCheck {
  std::string problem;     // empty when Qt can be started
  QByteArray platform;     // what Qt is to be asked for while it starts; empty: as set
  std::string startFailure;  // what to say should Qt still fail to start
  std::unique_ptr<X11Probe> held;
};

std::string XFailure(const DisplayOptions& options, const std::string& display,
                     const std::string& why = {}) {
  return Sentence(options, "could not connect to the X display \"" + display + "\" (DISPLAY)" + why);
}

DisplayCheck CheckDisplay(const DisplayOptions& options) {
  const bool x11 = EnvSet("DISPLAY"), wayland = EnvSet("WAYLAND_DISPLAY");
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  const std::string display = x11 ? std::getenv("DISPLAY") : "";
  if (!x11 && !wayland && platform.isEmpty()) {
    return {Sentence(options,
                     "needs a graphical display, but none was found (DISPLAY and WAYLAND_DISPLAY "
                     "are not set)"),
            {}, {}, {}};
  }
  // The plugin Qt will start: its own choice, or the first of the list it
  // is given ("wayland;xcb"), each name perhaps with arguments ("xcb:...").
  QString first;
  if (platform.isEmpty()) {
    // Qt's own choice follows XDG_SESSION_TYPE and fails hard when the
    // plugin it picks is missing or its display is not there.
    if (wayland && HaveWaylandPlugin() && (!x11 || qgetenv("XDG_SESSION_TYPE") == "wayland")) {
      return {{}, "wayland", Sentence(options, "could not open a display"), {}};
    }
    if (!x11) {
      return {Sentence(options,
                       "found only a Wayland display (WAYLAND_DISPLAY), and the Qt Wayland "
                       "platform plugin (qt6-wayland) is not installed"),
              {}, {}, {}};
    }
    first = QStringLiteral("xcb");
  } else {
    const QStringList names = QString::fromLocal8Bit(platform).split(u';', Qt::SkipEmptyParts);
    bool installed = false;
    for (const QString& entry : names) {
      const QString name = entry.section(u':', 0, 0).trimmed();
      if (first.isEmpty()) first = name;
      if (PlatformPluginInstalled(name)) {
        installed = true;
        break;
      }
    }
    if (!installed) {
      return {Sentence(options, "could not open a display: the Qt platform plugin \"" +
                                    platform.toStdString() +
                                    "\" named by QT_QPA_PLATFORM is not installed"),
              {}, {}, {}};
    }
  }
  const std::string fallback = Sentence(
      options, "could not open a display through the Qt platform plugin \"" + first.toStdString() + "\"");
  if (first.compare(QStringLiteral("xcb"), Qt::CaseInsensitive) != 0) {
    return {{}, {}, fallback, {}};
  }
  if (!x11) return {XFailure(options, "", ", as DISPLAY is not set"), {}, {}, {}};

  auto probe = std::make_unique<X11Probe>();
  switch (probe->Connect(display.c_str())) {
    case X11Probe::Result::kUnreachable:
      return {XFailure(options, display), {}, {}, {}};
    case X11Probe::Result::kNoSuchScreen:
      return {XFailure(options, display, ", which has no screen " + std::to_string(probe->screen())),
              {}, {}, {}};
    case X11Probe::Result::kReachable:
    case X11Probe::Result::kUnknown:
      break;
  }
  // Qt gives up on the first refusal of its own connection, but tries each
  // plugin of a list in turn: the same one, a few times over.
  const QByteArray once = platform.isEmpty() ? QByteArray("xcb") : platform;
  QByteArray tries = once;
  for (int i = 1; i < 5; ++i) tries += ";" + once;
  return {{}, tries, XFailure(options, display), std::move(probe)};
}

// For the time Qt starts, and no longer (the processes the palette starts
// see the environment it was given): the plugin Qt is to ask for, a pause
// before each X connection Qt tries again, and the one sentence in the
// place of the abort should Qt still find no display.
std::string gStartFailure;
int gStartRetries = 0;
QtMessageHandler gOtherHandler = nullptr;

void OnStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "%s.\n", gStartFailure.c_str());
    std::fflush(stderr);
    std::_Exit(2);
  }
  if (context.category && std::strcmp(context.category, "qt.qpa.xcb") == 0 &&
      message.startsWith(QLatin1String("could not connect to display"))) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10 << std::min(gStartRetries++, 4)));
    return;
  }
  if (gOtherHandler) gOtherHandler(type, context, message);
}

class QtStart {
 public:
  QtStart(const QByteArray& platform, std::string failure) : set_(!platform.isEmpty()) {
    if (set_) {
      old_ = qEnvironmentVariableIsSet("QT_QPA_PLATFORM")
                 ? std::optional<QByteArray>(qgetenv("QT_QPA_PLATFORM"))
                 : std::nullopt;
      qputenv("QT_QPA_PLATFORM", platform);
    }
    gStartFailure = std::move(failure);
    gStartRetries = 0;
    gOtherHandler = qInstallMessageHandler(OnStartMessage);
    active_ = true;
  }
  ~QtStart() { Done(); }
  void Done() {
    if (!active_) return;
    active_ = false;
    qInstallMessageHandler(gOtherHandler);
    if (!set_) return;
    if (old_) qputenv("QT_QPA_PLATFORM", *old_);
    else qunsetenv("QT_QPA_PLATFORM");
  }

 private:
  bool set_;
  bool active_ = false;
  std::optional<QByteArray> old_;
};

// Termination signals go the Quit menu item's way: the handler writes to
// a pipe, which the event loop reads, and stops a host script the palette
// may be waiting on, which no loop would reach.
int gSignalPipe[2] = {-1, -1};
constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnQuitSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(gSignalPipe[1], &byte, 1);
  StopScripts();
  errno = saved;
}

// A quit from outside the window system (a signal, the session's end) may
// overtake its news: what it has already sent is taken in first, so that a
// move the user has just made is known when the window saves its place.
void EndPalette() {
  QGuiApplication::sync();
  DeliverEvent(QuitAction);
}

class QtDisplay : public Display {
 public:
  QtDisplay(int& argc, char** argv, const DisplayCheck& check, const DisplayOptions& options)
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
    InstallSignalPath();
    QObject::connect(&app_, &QGuiApplication::commitDataRequest, &app_,
                     [](QSessionManager&) { EndPalette(); });
  }

  ~QtDisplay() override {
    for (int sig : kQuitSignals) std::signal(sig, SIG_DFL);
    delete notifier_;
    for (int& fd : gSignalPipe) {
      if (fd >= 0) close(fd);
      fd = -1;
    }
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
  void InstallSignalPath() {
    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [] {
      char buffer[64];
      while (read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
      }
      EndPalette();
    });
    struct sigaction action = {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kQuitSignals) sigaction(sig, &action, nullptr);
  }

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

  QtStart start_;
  QApplication app_;
  DisplayOptions options_;
  QTranslator translator_;
  QSocketNotifier* notifier_ = nullptr;
  std::vector<QPointer<QDialog>> modals_;  // the boxes and dialogs up, innermost last
  bool running_ = false;
  bool quitAsked_ = false;
  bool quitting_ = false;
};

}  // namespace

std::unique_ptr<Display> CreateQtDisplay(int& argc, char** argv, const DisplayOptions& options,
                                         std::string* error) {
  const DisplayCheck check = CheckDisplay(options);
  if (!check.problem.empty()) {
    if (error) *error = check.problem + ".";
    return nullptr;
  }
  return std::make_unique<QtDisplay>(argc, argv, check, options);
}

}  // namespace platform
