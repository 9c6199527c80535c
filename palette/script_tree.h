// The script tree's reading of its listing: the fields that make its rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace palette {

// Calls `visit` with each non-empty field of `text` at `separator`, in order
// and in one pass. The list shows no empty row; an expansion and its
// collapse walk the same fields, so they agree.
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

// How many fields ForEachListedField visits.
int32_t CountListedFields(std::string_view text, std::string_view separator);

}  // namespace palette
