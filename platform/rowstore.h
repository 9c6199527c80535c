// The list's rows: a two-level tree kept so that a flat row index and its
// place in the tree map to each other in logarithmic time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace platform {

// A row's place: a top-level row, and for a child row its place under that
// row (child -1 is the top-level row itself); top -1 for none.
struct RowPos {
  int32_t top = -1, child = -1;
  friend bool operator==(const RowPos&, const RowPos&) = default;
};

// Prefix sums over non-negative weights, with point updates, appends and
// the search from a running sum back to its element, all in logarithmic
// time.
struct Fenwick {
  std::vector<int64_t> node{0};  // 1-based
  int64_t total = 0;

  int64_t Prefix(std::size_t count) const;  // weight of elements [0, count)
  void Add(std::size_t at, int64_t delta);
  void Push(int64_t weight);
  void Assign(const std::vector<int64_t>& weights);
  // The element that holds unit `unit` (0 <= unit < total), the one with
  // Prefix(i) <= unit < Prefix(i + 1); an element of weight 0 never does.
  std::size_t Find(int64_t unit) const;
};

// The rows as a two-level tree (the list never nests deeper): top-level
// rows, each with its cells, and under each its child rows. Rows are added
// at the end of the top level or of one row's children. Places passed in
// are the caller's to check: every one must name a row that is there.
class RowStore {
 public:
  using Cells = std::vector<String>;

  // Every row, children included.
  int64_t Total() const { return weight_.total; }
  int32_t TopCount() const { return static_cast<int32_t>(live_.total); }
  int32_t ChildCount(int32_t top) const;
  // The flat index of the row at `at`.
  int64_t FlatIndex(const RowPos& at) const;
  // The place of flat row `row` (0 <= row < Total()).
  RowPos Locate(int64_t row) const;

  Cells& CellsAt(const RowPos& at);
  const Cells& CellsAt(const RowPos& at) const;
  bool IsFolder(int32_t top) const;
  bool IsExpanded(int32_t top) const;
  void SetExpanded(int32_t top, bool expanded);

  void AddTop(Cells cells, bool folder);
  // At the end of the children of `top`; answers the new row's place.
  RowPos AddChild(int32_t top, Cells cells);
  // A top-level row goes with its children.
  void Remove(const RowPos& at);
  void Clear();

 private:
  struct Row {
    Cells cells;
  };
  struct Top : Row {
    bool folder = false;
    bool expanded = false;
    bool removed = false;
    std::vector<Row> children;
  };

  static int64_t WeightOf(const Top& t) { return 1 + static_cast<int64_t>(t.children.size()); }
  std::size_t SlotOf(int32_t top) const { return live_.Find(top); }
  Top& TopAt(int32_t top) { return slots_[SlotOf(top)]; }
  const Top& TopAt(int32_t top) const { return slots_[SlotOf(top)]; }
  Row& At(const RowPos& p);
  void Erase(int32_t top);
  void Sweep();

  // The top-level rows sit in slots; a removed row leaves its slot empty
  // until the empty slots outnumber the rows and are swept out together,
  // so that a removal moves nothing. Two Fenwick trees over the slots, one
  // of the rows' weights (one plus the children they hold, 0 for an empty
  // slot) and one counting the rows, map a flat row index to its place,
  // and back, in logarithmic time: adding or removing a row costs the same
  // whatever the list's length.
  std::vector<Top> slots_;
  Fenwick weight_, live_;
};

}  // namespace platform
