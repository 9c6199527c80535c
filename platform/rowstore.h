// The list's rows: a two-level tree kept so that a flat row index and its
// place in the tree map to each other in logarithmic time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace platform {

// A row's place: a top-level row, and for a child row its place under that
// row (child -1 is the top-level row itself); top -1 for none.
struct RowPos {
  int32_t top = -1, child = -1;
};

// Prefix sums over non-negative weights, with point updates, appends and
// the search from a running sum back to its element, all in logarithmic
// time.
struct Fenwick {
  std::vector<int64_t> node{0};  // 1-based
  int64_t total = 0;

  int64_t Prefix(std::size_t count) const {  // weight of elements [0, count)
    int64_t sum = 0;
    for (std::size_t i = count; i > 0; i -= i & (~i + 1)) sum += node[i];
    return sum;
  }
  void Add(std::size_t at, int64_t delta) {
    for (std::size_t i = at + 1; i < node.size(); i += i & (~i + 1)) node[i] += delta;
    total += delta;
  }
  void Push(int64_t weight) {
    const std::size_t n = node.size();  // the new element's 1-based place
    const std::size_t low = n & (~n + 1);
    node.push_back(weight + Prefix(n - 1) - Prefix(n - low));
    total += weight;
  }
  void Assign(const std::vector<int64_t>& weights) {
    node.assign(weights.size() + 1, 0);
    total = 0;
    for (std::size_t i = 1; i <= weights.size(); ++i) {
      node[i] += weights[i - 1];
      const std::size_t parent = i + (i & (~i + 1));
      if (parent < node.size()) node[parent] += node[i];
      total += weights[i - 1];
    }
  }
  // The element that holds unit `unit` (0 <= unit < total), the one with
  // Prefix(i) <= unit < Prefix(i + 1); an element of weight 0 never does.
  std::size_t Find(int64_t unit) const {
    std::size_t pos = 0;
    std::size_t step = 1;
    while (step * 2 < node.size()) step *= 2;
    for (; step > 0; step /= 2) {
      if (pos + step < node.size() && node[pos + step] <= unit) {
        pos += step;
        unit -= node[pos];
      }
    }
    return pos;
  }
};

// The rows as a two-level tree (the list never nests deeper). The top-level
// rows sit in slots; a removed row leaves its slot empty until the empty
// slots outnumber the rows and are swept out together, so that a removal
// moves nothing. Two Fenwick trees over the slots, one of the rows'
// weights (one plus the children they hold, 0 for an empty slot) and one
// counting the rows, map a flat row index to its place, and back, in
// logarithmic time: adding or removing a row costs the same whatever the
// list's length.
struct RowStore {
  struct Row {
    std::vector<String> cells;
  };
  struct Top : Row {
    bool folder = false;
    bool expanded = false;
    bool removed = false;
    std::vector<Row> children;
  };
  std::vector<Top> slots;
  Fenwick weight, live;

  static int64_t WeightOf(const Top& t) { return 1 + static_cast<int64_t>(t.children.size()); }
  int64_t Total() const { return weight.total; }
  std::size_t TopCount() const { return static_cast<std::size_t>(live.total); }
  std::size_t SlotOf(std::size_t top) const { return live.Find(static_cast<int64_t>(top)); }
  Top& TopAt(std::size_t top) { return slots[SlotOf(top)]; }
  const Top& TopAt(std::size_t top) const { return slots[SlotOf(top)]; }
  // The number of flat rows above top-level row `top`.
  int64_t Before(std::size_t top) const { return weight.Prefix(SlotOf(top)); }
  // The top-level row holding flat row `row` (0 <= row < Total()), and the
  // number of flat rows above that top-level row.
  std::size_t TopHolding(int64_t row, int64_t& before) const {
    const std::size_t slot = weight.Find(row);
    before = weight.Prefix(slot);
    return static_cast<std::size_t>(live.Prefix(slot));
  }
  void Grow(std::size_t top, int64_t delta) { weight.Add(SlotOf(top), delta); }
  void Push(Top row) {
    weight.Push(WeightOf(row));
    live.Push(1);
    slots.push_back(std::move(row));
  }
  void Erase(std::size_t top) {
    const std::size_t slot = SlotOf(top);
    weight.Add(slot, -WeightOf(slots[slot]));
    live.Add(slot, -1);
    slots[slot] = Top{};
    slots[slot].removed = true;
    // A sweep costs the slots, after at least half as many removals.
    if (slots.size() > 64 && TopCount() * 2 < slots.size()) Sweep();
  }
  void Sweep() {
    std::erase_if(slots, [](const Top& t) { return t.removed; });
    std::vector<int64_t> weights;
    weights.reserve(slots.size());
    for (const Top& t : slots) weights.push_back(WeightOf(t));
    weight.Assign(weights);
    live.Assign(std::vector<int64_t>(slots.size(), 1));
  }
  void Clear() {
    slots.clear();
    weight = Fenwick{};
    live = Fenwick{};
  }
  Row& At(const RowPos& p) {
    Top& t = TopAt(static_cast<std::size_t>(p.top));
    return p.child < 0 ? static_cast<Row&>(t) : t.children[static_cast<std::size_t>(p.child)];
  }
  const Row& At(const RowPos& p) const { return const_cast<RowStore*>(this)->At(p); }
};

}  // namespace platform
