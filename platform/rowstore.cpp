#include "platform/rowstore.h"

#include <string>
#include <utility>

namespace platform {

// ---------------------------------------------------------------- Fenwick

int64_t Fenwick::Prefix(std::size_t count) const {
  int64_t sum = 0;
  for (std::size_t i = count; i > 0; i -= i & (~i + 1)) sum += node[i];
  return sum;
}

void Fenwick::Add(std::size_t at, int64_t delta) {
  for (std::size_t i = at + 1; i < node.size(); i += i & (~i + 1)) {
    node[i] = static_cast<int32_t>(node[i] + delta);
  }
  total += delta;
}

void Fenwick::Push(int64_t weight) {
  const std::size_t n = node.size();  // the new element's 1-based place
  const std::size_t low = n & (~n + 1);
  node.push_back(static_cast<int32_t>(weight + Prefix(n - 1) - Prefix(n - low)));
  total += weight;
}

void Fenwick::Assign(const std::vector<int64_t>& weights) {
  node.assign(weights.size() + 1, 0);
  total = 0;
  for (std::size_t i = 1; i <= weights.size(); ++i) {
    node[i] = static_cast<int32_t>(node[i] + weights[i - 1]);
    const std::size_t parent = i + (i & (~i + 1));
    if (parent < node.size()) node[parent] = static_cast<int32_t>(node[parent] + node[i]);
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
  return static_cast<int32_t>(ChildrenOf(TopAt(top)));
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
  return p.child < 0 ? static_cast<Row&>(t)
                     : extras_[t.extra - 1].children[static_cast<std::size_t>(p.child)];
}

RowStore::Extra& RowStore::ExtraOf(Row& r) {
  if (!r.extra) {
    if (freeExtras_.empty()) {
      extras_.emplace_back();
      r.extra = static_cast<uint32_t>(extras_.size());
    } else {
      r.extra = freeExtras_.back() + 1;
      freeExtras_.pop_back();
    }
  }
  return extras_[r.extra - 1];
}

std::string_view RowStore::Text(const RowPos& at, int32_t column) const {
  const Row& r = At(at);
  if (column == 0) return texts_.View(r.first);
  if (column == 1) return texts_.View(r.second);
  if (!r.extra) return {};
  const auto& columns = extras_[r.extra - 1].columns;
  const auto further = static_cast<std::size_t>(column - 2);
  return further < columns.size() ? texts_.View(columns[further]) : std::string_view();
}

RowStore::Span RowStore::AddText(std::string_view text) {
  if (texts_.Fits(text.size())) return texts_.Add(text);
  // The text may be one of the store's own, which compacting moves.
  const std::string kept(text);
  CompactTexts();
  return texts_.Add(kept);
}

void RowStore::SetText(const RowPos& at, int32_t column, std::string_view text) {
  const Span added = AddText(text);
  // A child row stands in its parent's extra: making the row's own extra
  // may move the extras, never the children's rows.
  Row& r = At(at);
  Span* span;
  if (column == 0) {
    span = &r.first;
  } else if (column == 1) {
    span = &r.second;
  } else {
    auto& columns = ExtraOf(r).columns;
    const auto further = static_cast<std::size_t>(column - 2);
    if (columns.size() <= further) columns.resize(further + 1);
    span = &columns[further];
  }
  texts_.Drop(*span);
  *span = added;
  TidyTexts();
}

bool RowStore::IsFolder(int32_t top) const { return TopAt(top).folder; }
bool RowStore::IsExpanded(int32_t top) const { return TopAt(top).expanded; }
void RowStore::SetExpanded(int32_t top, bool expanded) { TopAt(top).expanded = expanded; }

void RowStore::AddTop(std::string_view first, bool folder) {
  Top row;
  row.first = AddText(first);
  row.folder = folder;
  weight_.Push(WeightOf(row));
  live_.Push(1);
  slots_.push_back(row);
}

RowPos RowStore::AddChild(int32_t top, std::string_view first) {
  const std::size_t slot = SlotOf(top);
  Row row;
  row.first = AddText(first);
  auto& children = ExtraOf(slots_[slot]).children;
  children.push_back(row);
  ++childRows_;
  weight_.Add(slot, 1);
  return RowPos{top, static_cast<int32_t>(children.size()) - 1};
}

void RowStore::Remove(const RowPos& at) {
  if (at.child < 0) {
    Erase(at.top);
  } else {
    const std::size_t slot = SlotOf(at.top);
    auto& children = extras_[slots_[slot].extra - 1].children;
    Release(children[static_cast<std::size_t>(at.child)]);
    children.erase(children.begin() + at.child);
    --childRows_;
    weight_.Add(slot, -1);
  }
  TidyTexts();
}

void RowStore::Erase(int32_t top) {
  const std::size_t slot = SlotOf(top);
  weight_.Add(slot, -WeightOf(slots_[slot]));
  live_.Add(slot, -1);
  Release(slots_[slot]);
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

void RowStore::Release(Row& r) {
  texts_.Drop(r.first);
  texts_.Drop(r.second);
  if (r.extra) {
    Extra& extra = extras_[r.extra - 1];
    for (Span s : extra.columns) texts_.Drop(s);
    for (Row& child : extra.children) Release(child);
    childRows_ -= extra.children.size();
    extra = Extra{};
    freeExtras_.push_back(r.extra - 1);
  }
  r.first = r.second = Span{};
  r.extra = 0;
}

void RowStore::TidyTexts() {
  if (texts_.WorthCompacting(slots_.size() + childRows_)) CompactTexts();
}

void RowStore::CompactTexts() {
  if (!texts_.HasDropped()) return;
  texts_.Compact([this](auto&& move) {
    // Each row once: through the slots, and through its parent's extra for
    // a child row.
    auto row = [&](auto& self, Row& r) -> void {
      move(r.first);
      move(r.second);
      if (!r.extra) return;
      for (Span& s : extras_[r.extra - 1].columns) move(s);
      for (Row& c : extras_[r.extra - 1].children) self(self, c);
    };
    for (Top& t : slots_) row(row, t);
  });
}

void RowStore::Clear() {
  // Given back, not kept for the next fill: a list filled once from a large
  // folder and then from a small one holds only the small one.
  std::deque<Top>().swap(slots_);
  weight_ = Fenwick{};
  live_ = Fenwick{};
  texts_.Clear();
  std::vector<Extra>().swap(extras_);
  freeExtras_.clear();
  childRows_ = 0;
}

}  // namespace platform
