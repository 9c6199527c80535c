// A name as one line of text that shows every character it holds.
#pragma once

#include <QFont>
#include <QString>

#include <optional>

#include "platform/text.h"

namespace platform::qt {

class OneLine {
 public:
  // Control characters (line breaks among them) as marks the font draws:
  // their pictures (U+2400 on) where it has them, else U+FFFD, as for bytes
  // that are not UTF-8.
  QString operator()(const String& text, const QFont& font);

 private:
  bool HasPictures(const QFont& font);

  std::optional<QFont> font_;
  bool pictures_ = false;
};

}  // namespace platform::qt
