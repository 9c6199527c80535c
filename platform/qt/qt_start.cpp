#include "platform/qt/qt_start.h"

#include <QGuiApplication>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace platform::qt {
namespace {

struct HeldMessage {
  QtMsgType type;
  QByteArray category;
  QString text;
};

std::function<std::string()> gStartFailure;
int gStartRetries = 0;
QtMessageHandler gOtherHandler = nullptr;
std::vector<HeldMessage> gPluginMessages;

void OnStartMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    const std::string sentence = gStartFailure ? gStartFailure() : std::string();
    std::fprintf(stderr, "%s.\n", sentence.c_str());
    std::fflush(stderr);
    std::_Exit(2);
  }
  if (context.category && std::strcmp(context.category, "qt.qpa.xcb") == 0 &&
      message.startsWith(QLatin1String("could not connect to display"))) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10 << std::min(gStartRetries++, 4)));
    return;
  }
  // Qt's word on each plugin of the list it could not start waits: should
  // Qt fail, the one sentence says it all.
  if (context.category && std::strcmp(context.category, "qt.qpa.plugin") == 0) {
    gPluginMessages.push_back({type, context.category, message});
    return;
  }
  if (gOtherHandler) gOtherHandler(type, context, message);
}

// The first name of a plugin list ("wayland;xcb:arg").
QString FirstPlugin(const QByteArray& list) {
  return QString::fromLocal8Bit(list).split(u';', Qt::SkipEmptyParts).value(0).section(u':', 0, 0)
      .trimmed();
}

}  // namespace

QtStart::QtStart(const QByteArray& platform, std::function<std::string()> failure)
    : set_(!platform.isEmpty()), asked_(platform) {
  if (set_) {
    old_ = qEnvironmentVariableIsSet("QT_QPA_PLATFORM")
               ? std::optional<QByteArray>(qgetenv("QT_QPA_PLATFORM"))
               : std::nullopt;
    qputenv("QT_QPA_PLATFORM", platform);
  } else {
    asked_ = qgetenv("QT_QPA_PLATFORM");
  }
  gStartFailure = std::move(failure);
  gStartRetries = 0;
  gPluginMessages.clear();
  gOtherHandler = qInstallMessageHandler(OnStartMessage);
  active_ = true;
}

void QtStart::Done() {
  if (!active_) return;
  active_ = false;
  qInstallMessageHandler(gOtherHandler);
  // Qt started, though not on the first plugin asked for: what it said of
  // the ones before is said after all. Retries of the same plugin are not.
  const QString first = FirstPlugin(asked_);
  if (!first.isEmpty() &&
      first.compare(QGuiApplication::platformName(), Qt::CaseInsensitive) != 0) {
    for (const HeldMessage& m : gPluginMessages) {
      const QMessageLogContext context(nullptr, 0, nullptr, m.category.constData());
      if (gOtherHandler) gOtherHandler(m.type, context, m.text);
    }
  }
  gPluginMessages.clear();
  gStartFailure = nullptr;
  if (!set_) return;
  if (old_) qputenv("QT_QPA_PLATFORM", *old_);
  else qunsetenv("QT_QPA_PLATFORM");
}

}  // namespace platform::qt
