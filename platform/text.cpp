#include "platform/text.h"

#include <cmath>
#include <limits>

namespace platform {
namespace {

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualAt(std::string_view text, std::size_t pos, std::string_view find) {
  for (std::size_t i = 0; i < find.size(); ++i) {
    if (FoldAscii(text[pos + i]) != FoldAscii(find[i])) return false;
  }
  return true;
}

}  // namespace

bool TextEquals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && EqualAt(a, 0, b);
}

bool operator==(const String& a, const String& b) {
  return TextEquals(a.s_, b.s_);
}

bool NameLess(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(FoldAscii(a[i]));
    const auto cb = static_cast<unsigned char>(FoldAscii(b[i]));
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::string FoldAsciiCase(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) c = FoldAscii(c);
  return folded;
}

int32_t InStr(int32_t start, const String& text, const String& find) {
  const std::string_view t = text.view();
  const std::string_view f = find.view();
  if (f.empty() || f.size() > t.size()) return 0;
  std::size_t from = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
  for (std::size_t pos = from; pos + f.size() <= t.size(); ++pos) {
    if (EqualAt(t, pos, f)) {
      return pos < static_cast<std::size_t>(std::numeric_limits<int32_t>::max())
                 ? static_cast<int32_t>(pos + 1)
                 : std::numeric_limits<int32_t>::max();
    }
  }
  return 0;
}

void ForEachField(std::string_view text, std::string_view separator,
                  const std::function<void(std::string_view)>& visit) {
  if (text.empty()) return;
  if (separator.empty()) {
    visit(text);
    return;
  }
  std::size_t begin = 0;
  for (;;) {
    const std::size_t at = text.find(separator, begin);
    if (at == std::string_view::npos) {
      visit(text.substr(begin));
      return;
    }
    visit(text.substr(begin, at - begin));
    begin = at + separator.size();
  }
}

int32_t CountFields(const String& text, const String& separator) {
  int64_t count = 0;
  ForEachField(text.view(), separator.view(),
               [&count](std::string_view) { ++count; });
  return count > std::numeric_limits<int32_t>::max()
             ? std::numeric_limits<int32_t>::max()
             : static_cast<int32_t>(count);
}

String NthField(const String& text, const String& separator, int32_t n) {
  if (n < 1) return String();
  const std::string_view t = text.view();
  const std::string_view sep = separator.view();
  if (t.empty()) return String();
  if (sep.empty()) return n == 1 ? text : String();
  std::size_t begin = 0;
  for (int32_t field = 1;; ++field) {
    const std::size_t at = t.find(sep, begin);
    if (field == n) {
      return String(t.substr(begin, at == std::string_view::npos
                                         ? std::string_view::npos
                                         : at - begin));
    }
    if (at == std::string_view::npos) return String();
    begin = at + sep.size();
  }
}

String LeftB(const String& text, int32_t n) {
  if (n <= 0) return String();
  return String(text.view().substr(0, static_cast<std::size_t>(n)));
}

double Val(const String& text) {
  const std::string_view t = text.view();
  std::size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  auto digit = [&](std::size_t k) { return k < t.size() && t[k] >= '0' && t[k] <= '9'; };

  // Digits are gathered into a long double; overflow becomes infinity rather
  // than wrapping, which ToInt32 then saturates.
  long double value = 0;
  bool any = false;
  while (digit(i)) {
    value = value * 10 + (t[i++] - '0');
    any = true;
  }
  if (i < t.size() && t[i] == '.') {
    long double scale = 0.1L;
    std::size_t k = i + 1;
    while (digit(k)) {
      value += (t[k++] - '0') * scale;
      scale /= 10;
      any = true;
    }
    if (any) i = k;
  }
  if (!any) return 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    std::size_t k = i + 1;
    bool expNegative = false;
    if (k < t.size() && (t[k] == '-' || t[k] == '+')) expNegative = t[k++] == '-';
    if (digit(k)) {
      long exponent = 0;
      while (digit(k)) {
        if (exponent < 100000) exponent = exponent * 10 + (t[k] - '0');
        ++k;
      }
      // Zero stays zero whatever the exponent: 0 times an overflowed power
      // of ten would otherwise be NaN ("0e5000").
      const long double scale = std::pow(10.0L, expNegative ? -exponent : exponent);
      value = (value == 0 || scale == 0) ? 0 : value * scale;
    }
  }
  const double result = static_cast<double>(value);
  return negative ? -result : result;
}

int32_t ToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);  // truncates towards zero
}

String Str(int32_t value) { return String(std::to_string(value)); }

}  // namespace platform
