#include "platform/qt/one_line.h"

#include <QFontMetrics>

#include "platform/qt/conversions.h"

namespace platform::qt {
namespace {

constexpr char16_t kNewlinePicture = 0x2424;

bool IsControl(char16_t u) {
  return u < 0x20 || (u >= 0x7F && u < 0xA0) || u == QChar::LineSeparator ||
         u == QChar::ParagraphSeparator;
}

// NEL and the Unicode line and paragraph separators have no picture of their
// own; C1 controls have none at all.
std::optional<char16_t> PictureOf(char16_t u) {
  if (u < 0x20) return char16_t(0x2400 + u);
  if (u == 0x7F) return char16_t(0x2421);
  if (u == 0x85 || u == QChar::LineSeparator || u == QChar::ParagraphSeparator) {
    return kNewlinePicture;
  }
  return std::nullopt;
}

}  // namespace

QString OneLine::operator()(const String& text, const QFont& font) {
  QString line = ToQString(text);
  bool plain = true;
  for (const QChar c : line) plain = plain && !IsControl(c.unicode());
  // Most names hold none: the font is looked into only for one that does.
  if (plain) return line;
  const bool pictures = HasPictures(font);
  for (QChar& c : line) {
    if (!IsControl(c.unicode())) continue;
    const std::optional<char16_t> picture = PictureOf(c.unicode());
    c = QChar(pictures && picture ? *picture : char16_t(QChar::ReplacementCharacter));
  }
  return line;
}

bool OneLine::HasPictures(const QFont& font) {
  if (font_ && *font_ == font) return pictures_;
  const QFontMetrics metrics(font);
  pictures_ = metrics.inFontUcs4(kNewlinePicture);
  for (char32_t u = 0x2400; pictures_ && u <= 0x2421; ++u) pictures_ = metrics.inFontUcs4(u);
  font_ = font;
  return pictures_;
}

}  // namespace platform::qt
