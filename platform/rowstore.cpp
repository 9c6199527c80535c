#include "platform/rowstore.h"

#include <utility>

namespace platform {

// ---------------------------------------------------------------- Fenwick

int64_t Fenwick::Prefix(std::size_t count) const {
  int64_t sum = 0;
  for (std::size_t i = count; i > 0; i -= i & (~i + 1)) sum += node[i];
  return sum;
}

void Fenwick::Add(std::size_t at, int64_t delta) {
  for (std::size_t i = at + 1; i < node.size(); i += i & (~i + 1)) node[i] += delta;
  total += delta;
}

void Fenwick::Push(int64_t weight) {
  const std::size_t n = node.size();  // the new element's 1-based place
  const std::size_t low = n & (~n + 1);
  node.push_back(weight + Prefix(n - 1) - Prefix(n - low));
  total += weight;
}

void Fenwick::Assign(const std::vector<int64_t>& weights) {
  node.assign(weights.size() + 1, 0);
  total = 0;
  for (std::size_t i = 1; i <= weights.size(); ++i) {
    node[i] += weights[i - 1];
    const std::size_t parent = i + (i & (~i + 1));
    if (parent < node.size()) node[parent] += node[i];
    total += weights[i - 1];
  }
}

std::size_t Fenwick::Find(int64_t unit) const {
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

// ---------------------------------------------------------------- rows

int32_t RowStore::ChildCount(int32_t top) const {
  return static_cast<int32_t>(TopAt(top).children.size());
}

int64_t RowStore::FlatIndex(const RowPos& at) const {
  // The flat rows above the top-level row, the row itself, its children
  // before the child.
  return weight_.Prefix(SlotOf(at.top)) + 1 + at.child;
}

RowPos RowStore::Locate(int64_t row) const {
  const std::size_t slot = weight_.Find(row);
  const int64_t before = weight_.Prefix(slot);
  return RowPos{static_cast<int32_t>(live_.Prefix(slot)),
                static_cast<int32_t>(row - before - 1)};
}

RowStore::Row& RowStore::At(const RowPos& p) {
  Top& t = TopAt(p.top);
  return p.child < 0 ? static_cast<Row&>(t) : t.children[static_cast<std::size_t>(p.child)];
}

RowStore::Cells& RowStore::CellsAt(const RowPos& at) { return At(at).cells; }
const RowStore::Cells& RowStore::CellsAt(const RowPos& at) const {
  return const_cast<RowStore*>(this)->At(at).cells;
}

bool RowStore::IsFolder(int32_t top) const { return TopAt(top).folder; }
bool RowStore::IsExpanded(int32_t top) const { return TopAt(top).expanded; }
void RowStore::SetExpanded(int32_t top, bool expanded) { TopAt(top).expanded = expanded; }

void RowStore::AddTop(Cells cells, bool folder) {
  Top row;
  row.cells = std::move(cells);
  row.folder = folder;
  weight_.Push(WeightOf(row));
  live_.Push(1);
  slots_.push_back(std::move(row));
}

RowPos RowStore::AddChild(int32_t top, Cells cells) {
  const std::size_t slot = SlotOf(top);
  auto& children = slots_[slot].children;
  children.push_back(Row{std::move(cells)});
  weight_.Add(slot, 1);
  return RowPos{top, static_cast<int32_t>(children.size()) - 1};
}

void RowStore::Remove(const RowPos& at) {
  if (at.child < 0) {
    Erase(at.top);
    return;
  }
  const std::size_t slot = SlotOf(at.top);
  auto& children = slots_[slot].children;
  children.erase(children.begin() + at.child);
  weight_.Add(slot, -1);
}

void RowStore::Erase(int32_t top) {
  const std::size_t slot = SlotOf(top);
  weight_.Add(slot, -WeightOf(slots_[slot]));
  live_.Add(slot, -1);
  slots_[slot] = Top{};
  slots_[slot].removed = true;
  // A sweep costs the slots, after at least half as many removals.
  if (slots_.size() > 64 && static_cast<std::size_t>(TopCount()) * 2 < slots_.size()) Sweep();
}

void RowStore::Sweep() {
  std::erase_if(slots_, [](const Top& t) { return t.removed; });
  std::vector<int64_t> weights;
  weights.reserve(slots_.size());
  for (const Top& t : slots_) weights.push_back(WeightOf(t));
  weight_.Assign(weights);
  live_.Assign(std::vector<int64_t>(slots_.size(), 1));
}

void RowStore::Clear() {
  slots_.clear();
  weight_ = Fenwick{};
  live_ = Fenwick{};
}

}  // namespace platform
