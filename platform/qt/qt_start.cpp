#include "platform/qt/qt_start.h"

#include <QtGlobal>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace platform::qt {
namespace {

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

}  // namespace

QtStart::QtStart(const QByteArray& platform, std::string failure) : set_(!platform.isEmpty()) {
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

void QtStart::Done() {
  if (!active_) return;
  active_ = false;
  qInstallMessageHandler(gOtherHandler);
  if (!set_) return;
  if (old_) qputenv("QT_QPA_PLATFORM", *old_);
  else qunsetenv("QT_QPA_PLATFORM");
}

}  // namespace platform::qt
