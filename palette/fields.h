// Walking the script listing's texts in one pass.
#pragma once

#include <string_view>
#include <vector>

namespace palette {

// The fields of `text` at `separator` that are not empty, in order. The
// list shows no empty row, so the empty field after a trailing separator
// (and any other empty one) makes none; an expansion and its collapse
// count the same fields of the same text, so they always agree.
std::vector<std::string_view> ListedFields(std::string_view text, std::string_view separator);

}  // namespace palette
