#include "platform/listbox.h"

#include <algorithm>

#include "platform/runtime.h"

namespace platform {

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
