#include "platform/qt/shortcut.h"

#include <QStringList>

#include "platform/qt/conversions.h"

namespace platform::qt {

QKeySequence ShortcutOf(const String& text) {
  if (text.IsEmpty()) return QKeySequence();
  QStringList parts;
  for (const QString& token : ToQString(text).split(QLatin1Char('+'), Qt::SkipEmptyParts)) {
    const QString t = token.trimmed();
    if (t.compare(QLatin1String("Cmd"), Qt::CaseInsensitive) == 0 ||
        t.compare(QLatin1String("Command"), Qt::CaseInsensitive) == 0 ||
        t.compare(QLatin1String("Control"), Qt::CaseInsensitive) == 0) {
      parts << QStringLiteral("Ctrl");
    } else if (t.compare(QLatin1String("Option"), Qt::CaseInsensitive) == 0) {
      parts << QStringLiteral("Alt");
    } else {
      parts << t;
    }
  }
  return QKeySequence::fromString(parts.join(QLatin1Char('+')), QKeySequence::PortableText);
}

}  // namespace platform::qt
