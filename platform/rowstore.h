// The list's rows: a two-level tree kept so that a flat row index and its
// place in the tree map to each other in logarithmic time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "platform/textblocks.h"

namespace platform {

// A row's place: a top-level row, and for a child row its place under that
// row (child -1 is the top-level row itself); top -1 for none.
struct RowPos {
  int32_t top = -1, child = -1;
  friend bool operator==(const RowPos&, const RowPos&) = default;
};

// Prefix sums over non-negative weights, each step logarithmic; a sum is a
// number of rows, counted in 32 bits as the list counts them.
struct Fenwick {
  std::vector<int32_t> node{0};  // 1-based
  int64_t total = 0;

  int64_t Prefix(std::size_t count) const;  // weight of elements [0, count)
  void Add(std::size_t at, int64_t delta);
  void Push(int64_t weight);
  void Assign(const std::vector<int64_t>& weights);
  // The element that holds unit `unit` (0 <= unit < total), the one with
  // Prefix(i) <= unit < Prefix(i + 1); an element of weight 0 never does.
  std::size_t Find(int64_t unit) const;
};

// Top-level rows and their children, each added at the end of its level.
// Places and columns passed in are the caller's to check.
class RowStore {
 public:
  // Every row, children included.
  int64_t Total() const { return weight_.total; }
  int32_t TopCount() const { return static_cast<int32_t>(live_.total); }
  int32_t ChildCount(int32_t top) const;
  // The flat index of the row at `at`.
  int64_t FlatIndex(const RowPos& at) const;
  // The place of flat row `row` (0 <= row < Total()).
  RowPos Locate(int64_t row) const;

  // A cell never written reads empty. The view lasts until the store next
  // changes.
  std::string_view Text(const RowPos& at, int32_t column) const;
  // Raises std::length_error when the store's texts would outgrow it.
  void SetText(const RowPos& at, int32_t column, std::string_view text);
  bool IsFolder(int32_t top) const;
  bool IsExpanded(int32_t top) const;
  void SetExpanded(int32_t top, bool expanded);

  // A new row holds `first` in its first column. These raise as SetText.
  void AddTop(std::string_view first, bool folder);
  // At the end of the children of `top`; answers the new row's place.
  RowPos AddChild(int32_t top, std::string_view first);
  // A top-level row goes with its children.
  void Remove(const RowPos& at);
  void Clear();

 private:
  using Span = TextBlocks::Span;
  // A row is a few words: its first two columns in it, further columns and
  // a folder's children in an extra, for the few rows that have them.
  struct Row {
    Span first, second;
    uint32_t extra = 0;  // 1 + the row's place in extras_; 0: none
  };
  struct Top : Row {
    bool folder = false;
    bool expanded = false;
    bool removed = false;
  };
  struct Extra {
    std::vector<Span> columns;  // from column 2 on
    std::vector<Row> children;  // a top-level row's
  };

  std::size_t ChildrenOf(const Row& r) const {
    return r.extra ? extras_[r.extra - 1].children.size() : 0;
  }
  int64_t WeightOf(const Top& t) const { return 1 + static_cast<int64_t>(ChildrenOf(t)); }
  // Without empty slots (a fill leaves none) a row's slot is its place,
  // found at once for a view that asks after every row as it lays out.
  std::size_t SlotOf(int32_t top) const {
    return slots_.size() == static_cast<std::size_t>(TopCount()) ? static_cast<std::size_t>(top)
                                                                   : live_.Find(top);
  }
  Top& TopAt(int32_t top) { return slots_[SlotOf(top)]; }
  const Top& TopAt(int32_t top) const { return slots_[SlotOf(top)]; }
  Row& At(const RowPos& p);
  const Row& At(const RowPos& p) const { return const_cast<RowStore*>(this)->At(p); }
  Extra& ExtraOf(Row& r);
  void Erase(int32_t top);
  void Sweep();
  // Lets go of the row's texts and extra, its children's with them.
  void Release(Row& r);
  // Compacts first when the text has no room otherwise.
  Span AddText(std::string_view text);
  void TidyTexts();
  void CompactTexts();

  // A removal empties its slot and moves nothing; the empty slots go together
  // once they outnumber the rows. A deque grows without copying the rows.
  std::deque<Top> slots_;
  Fenwick weight_;  // per slot: 1 + its children, 0 when empty
  Fenwick live_;    // per slot: 1 for a row, 0 when empty
  TextBlocks texts_;
  std::vector<Extra> extras_;
  std::vector<uint32_t> freeExtras_;  // places in extras_ free for reuse
  std::size_t childRows_ = 0;
};

}  // namespace platform
