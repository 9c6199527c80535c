// Text files read line by line, and written whole and atomically.
#pragma once

#include <memory>

#include "platform/object.h"
#include "platform/text.h"

namespace platform {

class TextInputStream : public Object {
 public:
  // The next line without its terminator ("\n", "\r\n" or "\r"); the empty
  // text when no line is left. Bytes pass through unchanged.
  String ReadLine();
  // Nothing is left to read. (EOF itself is a C macro.)
  bool EndOfFile() const;
  void Close();

  struct Impl;
  explicit TextInputStream(std::unique_ptr<Impl> impl);
  ~TextInputStream() override;

 private:
  std::unique_ptr<Impl> impl_;
};

class TextOutputStream : public Object {
 public:
  // Writes the text and "\n".
  void WriteLine(const String& text);
  // Puts everything written in place of the old file, carrying the item's
  // Mac type; false (and the old file left as it was) when that fails.
  bool Close();

  struct Impl;
  explicit TextOutputStream(std::unique_ptr<Impl> impl);
  ~TextOutputStream() override;  // without Close, the old file stays

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
