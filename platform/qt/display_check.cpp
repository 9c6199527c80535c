#include "platform/qt/display_check.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QString>
#include <QStringList>

#include <cstdlib>
#include <string>

#include "platform/qt/libxcb.h"
#include "platform/qt/x11_probe.h"

namespace platform::qt {
namespace {

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// What the user finds on looking at a variable that gives no display.
std::string Absence(const char* name) { return std::getenv(name) ? "empty" : "not set"; }

// One sentence for the user: the application's name, what went wrong, and
// how to get a display.
std::string Sentence(const DisplayOptions& options, const std::string& what) {
  std::string sentence = options.applicationName + " " + what;
  if (!options.noDisplayHint.empty()) sentence += "; " + options.noDisplayHint;
  return sentence;
}

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


std::string XFailure(const DisplayOptions& options, const std::string& display,
                     const std::string& why = {}) {
  return Sentence(options, "could not connect to the X display \"" + display + "\" (DISPLAY)" + why);
}

}  // namespace

DisplayCheck CheckDisplay(const DisplayOptions& options) {
  const bool x11 = EnvSet("DISPLAY"), wayland = EnvSet("WAYLAND_DISPLAY");
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  const std::string display = x11 ? std::getenv("DISPLAY") : "";
  if (!x11 && !wayland && platform.isEmpty()) {
    const std::string x = Absence("DISPLAY"), w = Absence("WAYLAND_DISPLAY");
    return {Sentence(options, "needs a graphical display, but none was found (" +
                                  (x == w ? "DISPLAY and WAYLAND_DISPLAY are " + x
                                          : "DISPLAY is " + x + " and WAYLAND_DISPLAY is " + w) +
                                  ")"),
            {}, {}};
  }
  // The plugin Qt will start: its own choice, or the first of the list it
  // is given ("wayland;xcb"), each name perhaps with arguments ("xcb:...").
  QString first;
  if (platform.isEmpty()) {
    // Qt's own choice follows XDG_SESSION_TYPE and fails hard when the
    // plugin it picks is missing or its display is not there.
    if (wayland && HaveWaylandPlugin() && (!x11 || qgetenv("XDG_SESSION_TYPE") == "wayland")) {
      const std::string failure = Sentence(options, "could not open a display");
      return {{}, "wayland", [failure] { return failure; }};
    }
    if (!x11) {
      return {Sentence(options,
                       "found only a Wayland display (WAYLAND_DISPLAY), and the Qt Wayland "
                       "platform plugin (qt6-wayland) is not installed"),
              {}, {}};
    }
    first = QStringLiteral("xcb");
  } else {
    first = QString::fromLocal8Bit(platform).split(u';', Qt::SkipEmptyParts).value(0)
                .section(u':', 0, 0).trimmed();
  }
  const bool xcb = first.compare(QStringLiteral("xcb"), Qt::CaseInsensitive) == 0;
  if (xcb && !x11) return {XFailure(options, "", ", as DISPLAY is " + Absence("DISPLAY")), {}, {}};

  auto failure = [options, platform, first, xcb, display]() -> std::string {
    if (!platform.isEmpty()) {
      bool installed = false;
      for (const QString& entry : QString::fromLocal8Bit(platform).split(u';', Qt::SkipEmptyParts)) {
        installed = installed || PlatformPluginInstalled(entry.section(u':', 0, 0).trimmed());
      }
      if (!installed) {
        return Sentence(options, "could not open a display: the Qt platform plugin \"" +
                                     platform.toStdString() +
                                     "\" named by QT_QPA_PLATFORM is not installed");
      }
    }
    if (!xcb) {
      return Sentence(options, "could not open a display through the Qt platform plugin \"" +
                                   first.toStdString() + "\"");
    }
    int screen = 0;
    if (ProbeX11(display.c_str(), &screen) == X11Reach::kNoSuchScreen) {
      return XFailure(options, display, ", which has no screen " + std::to_string(screen));
    }
    return XFailure(options, display);
  };
  if (!xcb) return {{}, {}, failure};
  // Qt gives up on the first refusal of its own connection, but tries each
  // plugin of a list in turn: the same one, a few times over (a server that
  // has just seen a client go may refuse the next one for a moment).
  const QByteArray once = platform.isEmpty() ? QByteArray("xcb") : platform;
  QByteArray tries = once;
  for (int i = 1; i < 5; ++i) tries += ";" + once;
  return {{}, tries, failure};
}

std::string CheckStartedDisplay(const DisplayOptions& options) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  const Libxcb* x = x11 && x11->connection() ? GetLibxcb(/*load=*/false) : nullptr;
  if (!x || !EnvSet("DISPLAY")) return {};
  const std::string display = std::getenv("DISPLAY");
  char* host = nullptr;
  int number = 0, screen = 0;
  if (!x->parseDisplay(display.c_str(), &host, &number, &screen)) return {};
  std::free(host);
  if (screen < x->setupRootsLength(x->getSetup(x11->connection()))) return {};
  return XFailure(options, display, ", which has no screen " + std::to_string(screen));
}

}  // namespace platform::qt
