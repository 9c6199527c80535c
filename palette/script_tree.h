// Walking the script listing's texts in one pass.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace palette {

// Calls `visit` with each field of `text` at `separator` that is not empty,
// in order, walking the text once. The list shows no empty row, so the
// empty field after a trailing separator (and any other empty one) makes
// none; an expansion and its collapse count the same fields of the same
// text, so they always agree.
template <class Visit>
void ForEachListedField(std::string_view text, std::string_view separator, Visit&& visit) {
  if (separator.empty()) {
    if (!text.empty()) visit(text);
    return;
  }
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find(separator, begin);
    if (end == std::string_view::npos) end = text.size();
    if (end > begin) visit(text.substr(begin, end - begin));
    begin = end + separator.size();
  }
}

// The fields ForEachListedField visits, as a list and as a count.
std::vector<std::string_view> ListedFields(std::string_view text, std::string_view separator);
int32_t CountListedFields(std::string_view text, std::string_view separator);

}  // namespace palette
