// The framework's plain types as Qt's, and back.
#pragma once

#include <QRect>
#include <QString>

#include "platform/display.h"
#include "platform/text.h"

namespace platform::qt {

inline QString ToQString(const String& text) { return QString::fromStdString(text.str()); }
inline QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.width, r.height); }
inline Rect ToRect(const QRect& r) { return Rect{r.x(), r.y(), r.width(), r.height()}; }

}  // namespace platform::qt
