// Many short texts laid end to end in shared blocks, each named by a span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

namespace platform {

// A text costs its bytes and a span, not an allocation. Blocks never move
// (a view lasts until Compact or Clear) and are the size of the pieces a
// caller builds long texts in, so that a piece let go makes room for rows.
class TextBlocks {
 public:
  static constexpr std::size_t kBlock = std::size_t{1} << 16;
  // A text's place: its block, times kBlock, plus where in the block it
  // starts. The empty text is nowhere.
  struct Span {
    uint32_t at = 0, length = 0;
  };

  std::string_view View(Span s) const {
    if (s.length == 0) return {};
    return {blocks_[s.at / kBlock].get() + s.at % kBlock, s.length};
  }
  // Whether a text of that length has room without compacting first.
  bool Fits(std::size_t length) const;
  // Raises std::length_error when the text does not fit.
  Span Add(std::string_view text);
  // The text at `s` is no longer wanted; it stays until compacted away.
  void Drop(Span s) {
    live_ -= s.length;
    dropped_ += s.length;
  }
  // Whether the dropped texts outweigh the live ones and a few bytes for
  // each of `owners`: then compacting costs no more than they did.
  bool WorthCompacting(std::size_t owners) const {
    return dropped_ > kBlock && dropped_ > live_ + 8 * owners;
  }
  bool HasDropped() const { return dropped_ > 0; }
  // Copies the live texts into fresh blocks: `each` hands every live span,
  // once, to the function it is given.
  template <class ForEachSpan>
  void Compact(ForEachSpan&& each) {
    TextBlocks fresh;
    each([&](Span& s) {
      if (s.length != 0) s = fresh.Add(View(s));
    });
    *this = std::move(fresh);
  }
  // Gives the blocks back.
  void Clear() { *this = TextBlocks{}; }

 private:
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  // Spans count bytes in 32 bits.
  static constexpr std::size_t kMaxBlocks = (std::size_t{1} << 32) / kBlock;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t filling_ = kNone;  // the block new texts go into
  std::size_t used_ = kBlock;    // bytes of it taken
  std::size_t live_ = 0, dropped_ = 0;
};

}  // namespace platform
