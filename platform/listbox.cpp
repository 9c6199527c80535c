#include "platform/listbox.h"

#include <algorithm>

#include "platform/runtime.h"

namespace platform {

Listbox::Listbox() = default;
Listbox::~Listbox() = default;

Listbox::Pos Listbox::PosOf(int32_t row) const {
  if (row < 0 || row >= rows_.Total()) throw OutOfBoundsException();
  return rows_.Locate(row);
}

int32_t Listbox::FlatIndex(int32_t top, int32_t child) const {
  if (top < 0 || top >= TopCount()) return -1;
  return static_cast<int32_t>(rows_.FlatIndex(Pos{top, child}));
}

int32_t Listbox::ListCount() const { return static_cast<int32_t>(rows_.Total()); }
int32_t Listbox::TopCount() const { return rows_.TopCount(); }
int32_t Listbox::ChildCount(int32_t top) const {
  if (top < 0 || top >= TopCount()) return 0;
  return rows_.ChildCount(top);
}
bool Listbox::TreeIsFolder(int32_t top) const {
  return top >= 0 && top < TopCount() && rows_.IsFolder(top);
}
bool Listbox::TreeExpanded(int32_t top) const {
  return top >= 0 && top < TopCount() && rows_.IsExpanded(top);
}
String Listbox::TreeCell(int32_t top, int32_t child, int32_t column) const {
  if (top < 0 || top >= TopCount() || child >= ChildCount(top) || column < 0) return String();
  const Rows::Cells& cells = rows_.CellsAt(Pos{top, child});
  return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)]
                                                         : String();
}

void Listbox::AddRow(const String& text) {
  Rows::Cells cells;
  // Rows commonly carry a second column (the palette's do): room for it
  // now spares a reallocation when it is written.
  cells.reserve(2);
  cells.push_back(text);
  if (!expanding_.empty() && expanding_.back() >= 0) {
    // Within ExpandRow the row goes under the expanding folder, after the
    // rows this expansion has added so far.
    last_ = rows_.AddChild(expanding_.back(), std::move(cells));
    if (peer_) peer_->RowInserted(last_.top, last_.child);
    return;
  }
  rows_.AddTop(std::move(cells), false);
  last_ = Pos{TopCount() - 1, -1};
  if (peer_) peer_->RowInserted(last_.top, -1);
}

void Listbox::AddFolder(const String& text) {
  if (!expanding_.empty() && expanding_.back() >= 0) {
    // The list is two levels deep: a folder added under a folder is a row.
    AddRow(text);
    return;
  }
  rows_.AddTop({text}, true);
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
  rows_.Remove(p);
  if (p.child < 0) {
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
  rows_.Clear();
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
  auto& cells = rows_.CellsAt(p);
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
  if (!rows_.IsFolder(p.top) || rows_.IsExpanded(p.top) == expanded) return;
  rows_.SetExpanded(p.top, expanded);
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
