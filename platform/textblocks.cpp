#include "platform/textblocks.h"

#include <cstring>
#include <stdexcept>

namespace platform {

bool TextBlocks::Fits(std::size_t length) const {
  return length <= std::numeric_limits<uint32_t>::max() &&
         (length <= kBlock - used_ || blocks_.size() < kMaxBlocks);
}

TextBlocks::Span TextBlocks::Add(std::string_view text) {
  if (text.empty()) return {};
  if (!Fits(text.size())) throw std::length_error("the list's texts have outgrown it");
  const auto length = static_cast<uint32_t>(text.size());
  Span s;
  if (text.size() > kBlock) {
    // A block of its own; the block being filled stays the one filled.
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(text.size()));
    std::memcpy(blocks_.back().get(), text.data(), text.size());
    s = {static_cast<uint32_t>((blocks_.size() - 1) * kBlock), length};
  } else {
    if (text.size() > kBlock - used_) {
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlock));
      filling_ = blocks_.size() - 1;
      used_ = 0;
    }
    std::memcpy(blocks_[filling_].get() + used_, text.data(), text.size());
    s = {static_cast<uint32_t>(filling_ * kBlock + used_), length};
    used_ += text.size();
  }
  live_ += text.size();
  return s;
}

}  // namespace platform
