#include "platform/qt/display_check.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QString>
#include <QStringList>

#include <cstdlib>

namespace platform::qt {
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

}  // namespace platform::qt
