#include "platform/listbox.h"

#include <algorithm>

#include "platform/runtime.h"

namespace platform {

namespace {

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

}  // namespace

// The rows as a two-level tree (the list never nests deeper). The top-level
// rows sit in slots; a removed row leaves its slot empty until the empty
// slots outnumber the rows and are swept out together, so that a removal
// moves nothing. Two Fenwick trees over the slots, one of the rows'
// weights (one plus the children they hold, 0 for an empty slot) and one
// counting the rows, map a flat row index to its place, and back, in
// logarithmic time: adding or removing a row costs the same whatever the
// list's length.
struct Listbox::Rows {
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
  Row& At(const Pos& p) {
    Top& t = TopAt(static_cast<std::size_t>(p.top));
    return p.child < 0 ? static_cast<Row&>(t) : t.children[static_cast<std::size_t>(p.child)];
  }
  const Row& At(const Pos& p) const { return const_cast<Rows*>(this)->At(p); }
};

Listbox::Listbox() : rows_(std::make_unique<Rows>()) {}
Listbox::~Listbox() = default;

Listbox::Pos Listbox::PosOf(int32_t row) const {
  if (row < 0 || row >= rows_->Total()) throw OutOfBoundsException();
  int64_t before = 0;
  const std::size_t top = rows_->TopHolding(row, before);
  const int64_t child = row - before - 1;
  return Pos{static_cast<int32_t>(top), static_cast<int32_t>(child)};
}

int32_t Listbox::FlatIndex(int32_t top, int32_t child) const {
  if (top < 0 || top >= TopCount()) return -1;
  return static_cast<int32_t>(rows_->Before(static_cast<std::size_t>(top)) + 1 + child);
}

int32_t Listbox::ListCount() const { return static_cast<int32_t>(rows_->Total()); }
int32_t Listbox::TopCount() const { return static_cast<int32_t>(rows_->TopCount()); }
int32_t Listbox::ChildCount(int32_t top) const {
  if (top < 0 || top >= TopCount()) return 0;
  return static_cast<int32_t>(rows_->TopAt(static_cast<std::size_t>(top)).children.size());
}
bool Listbox::TreeIsFolder(int32_t top) const {
  return top >= 0 && top < TopCount() && rows_->TopAt(static_cast<std::size_t>(top)).folder;
}
bool Listbox::TreeExpanded(int32_t top) const {
  return top >= 0 && top < TopCount() && rows_->TopAt(static_cast<std::size_t>(top)).expanded;
}
String Listbox::TreeCell(int32_t top, int32_t child, int32_t column) const {
  if (top < 0 || top >= TopCount() || child >= ChildCount(top) || column < 0) return String();
  const Rows::Row& r = rows_->At(Pos{top, child});
  return static_cast<std::size_t>(column) < r.cells.size()
             ? r.cells[static_cast<std::size_t>(column)]
             : String();
}

void Listbox::AddRow(const String& text) {
  Rows::Row row;
  // Rows commonly carry a second column (the palette's do): room for it
  // now spares a reallocation when it is written.
  row.cells.reserve(2);
  row.cells.push_back(text);
  if (!expanding_.empty() && expanding_.back() >= 0) {
    // Within ExpandRow the row goes under the expanding folder, after the
    // rows this expansion has added so far.
    const int32_t top = expanding_.back();
    auto& children = rows_->TopAt(static_cast<std::size_t>(top)).children;
    children.push_back(std::move(row));
    rows_->Grow(static_cast<std::size_t>(top), 1);
    last_ = Pos{top, static_cast<int32_t>(children.size()) - 1};
    if (peer_) peer_->RowInserted(last_.top, last_.child);
    return;
  }
  Rows::Top top;
  top.cells = std::move(row.cells);
  rows_->Push(std::move(top));
  last_ = Pos{TopCount() - 1, -1};
  if (peer_) peer_->RowInserted(last_.top, -1);
}

void Listbox::AddFolder(const String& text) {
  if (!expanding_.empty() && expanding_.back() >= 0) {
    // The list is two levels deep: a folder added under a folder is a row.
    AddRow(text);
    return;
  }
  Rows::Top top;
  top.cells.push_back(text);
  top.folder = true;
  rows_->Push(std::move(top));
  last_ = Pos{TopCount() - 1, -1};
  if (peer_) peer_->RowInserted(last_.top, -1);
}

void Listbox::RemoveRow(int32_t row) {
  const Pos p = PosOf(row);
  auto shift = [&](Pos& kept) {
    if (kept.top < 0) return;
    if (p.child >= 0) {
      if (kept.top != p.top) return;
      if (kept.child == p.child) kept = Pos{};
      else if (kept.child > p.child) --kept.child;
    } else if (kept.top == p.top) {
      kept = Pos{};
    } else if (kept.top > p.top) {
      --kept.top;
    }
  };
  if (p.child >= 0) {
    auto& children = rows_->TopAt(static_cast<std::size_t>(p.top)).children;
    children.erase(children.begin() + p.child);
    rows_->Grow(static_cast<std::size_t>(p.top), -1);
  } else {
    rows_->Erase(static_cast<std::size_t>(p.top));
    // An expansion whose own row goes adds its remaining rows at the end.
    for (int32_t& t : expanding_) {
      if (t == p.top) t = -1;
      else if (t > p.top) --t;
    }
  }
  const bool selectionMoved = selected_.top >= 0;
  shift(last_);
  shift(selected_);
  if (peer_) {
    peer_->RowRemoved(p.top, p.child);
    if (selectionMoved) peer_->SelectionChanged();
  }
}

void Listbox::DeleteAllRows() {
  rows_->Clear();
  std::fill(expanding_.begin(), expanding_.end(), -1);
  last_ = Pos{};
  selected_ = Pos{};
  if (peer_) peer_->Reset();
}

int32_t Listbox::LastIndex() const {
  return last_.top < 0 ? -1 : FlatIndex(last_.top, last_.child);
}

int32_t Listbox::ListIndex() const {
  return selected_.top < 0 ? -1 : FlatIndex(selected_.top, selected_.child);
}

void Listbox::SetListIndex(int32_t row) {
  selected_ = (row < 0 || row >= ListCount()) ? Pos{} : PosOf(row);
  if (peer_) peer_->SelectionChanged();
}

String Listbox::Cell(int32_t row, int32_t column) const {
  const Pos p = PosOf(row);
  if (column < 0) throw OutOfBoundsException();
  return TreeCell(p.top, p.child, column);
}

void Listbox::SetCell(int32_t row, int32_t column, const String& text) {
  const Pos p = PosOf(row);
  if (column < 0) throw OutOfBoundsException();
  auto& cells = rows_->At(p).cells;
  if (cells.size() <= static_cast<std::size_t>(column)) cells.resize(column + 1);
  cells[static_cast<std::size_t>(column)] = text;
  if (peer_) peer_->CellChanged(p.top, p.child, column);
}

bool Listbox::RowIsFolder(int32_t row) const {
  const Pos p = PosOf(row);
  return p.child < 0 && TreeIsFolder(p.top);
}

bool Listbox::Expanded(int32_t row) const {
  const Pos p = PosOf(row);
  return p.child < 0 && TreeExpanded(p.top);
}

void Listbox::SetExpanded(int32_t row, bool expanded) {
  const Pos p = PosOf(row);
  if (p.child >= 0) return;
  auto& top = rows_->TopAt(static_cast<std::size_t>(p.top));
  if (!top.folder || top.expanded == expanded) return;
  top.expanded = expanded;
  if (peer_) peer_->ExpandedChanged(p.top);
  if (expanded) {
    expanding_.push_back(p.top);
    try {
      Raise(*this, "ExpandRow", {Variant(row)});
    } catch (...) {
      expanding_.pop_back();
      throw;
    }
    expanding_.pop_back();
  } else {
    Raise(*this, "CollapseRow", {Variant(row)});
  }
}

void Listbox::UserSelect(int32_t row) {
  selected_ = (row < 0 || row >= ListCount()) ? Pos{} : PosOf(row);
}

void Listbox::UserSetExpanded(int32_t row, bool expanded) {
  DeliverEvent([this, row, expanded] { SetExpanded(row, expanded); });
}

void Listbox::UserDoubleClick() {
  DeliverEvent([this] { Raise(*this, "DoubleClick"); });
}

void Listbox::PropertyChanged(const std::string& name, const PropertyValue&) {
  if (peer_) peer_->Changed(name);
}

void Listbox::Realize(Display& display, WindowPeer& parent) {
  peer_ = display.CreateListboxPeer(parent, *this);
}

void Listbox::Unrealize() { peer_.reset(); }

}  // namespace platform
