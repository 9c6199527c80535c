// The framework's text: UTF-8 bytes, nil is the empty text, and the string
// functions of the framework.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class String {
 public:
  String() = default;
  String(const char* s) : s_(s ? s : "") {}           // NOLINT
  String(std::string s) : s_(std::move(s)) {}          // NOLINT
  String(std::string_view s) : s_(s) {}                // NOLINT

  const std::string& str() const { return s_; }
  std::string_view view() const { return s_; }
  const char* c_str() const { return s_.c_str(); }
  bool IsEmpty() const { return s_.empty(); }
  std::size_t LenB() const { return s_.size(); }

  String& operator+=(const String& other) {
    s_ += other.s_;
    return *this;
  }
  friend String operator+(String a, const String& b) { return a += b; }

  // The framework's equality: see TextEquals.
  friend bool operator==(const String& a, const String& b);
  friend bool operator!=(const String& a, const String& b) { return !(a == b); }
  friend std::ostream& operator<<(std::ostream& os, const String& s) {
    return os << s.s_;
  }

 private:
  std::string s_;
};

// Equality of texts, the one rule for the whole system: ASCII letters match
// regardless of case, every other byte (so every non-ASCII character) must
// match exactly. Extensions, application names and menu names compare so.
bool TextEquals(std::string_view a, std::string_view b);

// Orders names the way the folder listing hands them out: ASCII case folded
// first, then plain byte order to break ties.
bool NameLess(std::string_view a, std::string_view b);
// The text with ASCII letters in lower case and every other byte as it is:
// NameLess orders by these in byte order before its tie-break.
std::string FoldAsciiCase(std::string_view text);

// Position (counted from 1) of the first occurrence of `find` in `text` at
// or after byte `start` (counted from 1; 0 means from the beginning), using
// the framework's equality; 0 when not found. An empty `find` gives 0.
int32_t InStr(int32_t start, const String& text, const String& find);
inline int32_t InStr(const String& text, const String& find) {
  return InStr(0, text, find);
}

// The number of fields of `text` split at `separator`. The empty text has no
// field; otherwise every separator starts one more field, so a text ending
// in the separator has an empty last field. An empty separator gives 1 field.
int32_t CountFields(const String& text, const String& separator);

// Field n (from 1) of `text` split at `separator`; empty past the last field
// or for n below 1.
String NthField(const String& text, const String& separator, int32_t n);

// Calls `visit` for each field, in order, walking the text once. Same fields
// as CountFields/NthField; the views point into `text`.
void ForEachField(std::string_view text, std::string_view separator,
                  const std::function<void(std::string_view)>& visit);

// The first n bytes of the text (all of it when shorter; empty for n <= 0).
String LeftB(const String& text, int32_t n);

// The leading number of the text: optional blanks, an optional sign, digits
// with an optional fraction and exponent. 0 when the text does not begin
// with a number. A value too large for a double is +/- infinity.
double Val(const String& text);

// A double as a 32-bit integer: the fraction is dropped (towards zero),
// values beyond the 32-bit range saturate at its ends, NaN gives 0.
int32_t ToInt32(double value);

// Decimal text of the integer, minus sign first for a negative value.
String Str(int32_t value);

}  // namespace platform
