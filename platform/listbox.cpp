#include "platform/listbox.h"

#include <algorithm>
#include <utility>

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
int32_t Listbox::ShownChildCount(int32_t top) const {
  const int32_t count = ChildCount(top);
  if (pending_.count == 0 || pending_.top != top) return count;
  return pending_.removal ? count + pending_.count : count - pending_.count;
}
bool Listbox::TreeIsFolder(int32_t top) const {
  return top >= 0 && top < TopCount() && rows_.IsFolder(top);
}
bool Listbox::TreeExpanded(int32_t top) const {
  return top >= 0 && top < TopCount() && rows_.IsExpanded(top);
}
String Listbox::TreeCell(int32_t top, int32_t child, int32_t column) const {
  if (top < 0 || top >= TopCount() || child >= ChildCount(top) || column < 0) return String();
  return String(rows_.Text(Pos{top, child}, column));
}

void Listbox::AddRow(const String& text) {
  if (!expanding_.empty() && expanding_.back() >= 0) {
    // Within ExpandRow the row goes under the expanding folder, after the
    // rows this expansion has added so far; the peer hears of them together.
    const int32_t top = expanding_.back();
    const bool joins = pending_.count == 0 ||
                       (!pending_.removal && pending_.top == top &&
                        pending_.first + pending_.count == rows_.ChildCount(top));
    if (!joins) Announce();
    last_ = rows_.AddChild(top, text.view());
    if (peer_) {
      if (pending_.count == 0) pending_ = Pending{top, last_.child, 0, false, false};
      ++pending_.count;
    }
    return;
  }
  AddTop(text, false);
}

void Listbox::AddFolder(const String& text) {
  if (!expanding_.empty() && expanding_.back() >= 0) {
    // The list is two levels deep: a folder added under a folder is a row.
    AddRow(text);
    return;
  }
  AddTop(text, true);
}

void Listbox::AddTop(const String& text, bool folder) {
  Announce();
  rows_.AddTop(text.view(), folder);
  last_ = Pos{TopCount() - 1, -1};
  if (peer_) peer_->RowsInserted(-1, last_.top, 1);
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
  // A collapse that takes its folder's children from the end is told of
  // in one go.
  const bool joins = p.child >= 0 && !collapsing_.empty() && collapsing_.back() == p.top &&
                     p.child == rows_.ChildCount(p.top) - 1 &&
                     (pending_.count == 0 ||
                      (pending_.removal && pending_.top == p.top && pending_.first == p.child + 1));
  if (!joins) Announce();
  rows_.Remove(p);
  if (p.child < 0) {
    // An expansion whose own row goes adds its remaining rows at the end.
    for (std::vector<int32_t>* running : {&expanding_, &collapsing_}) {
      for (int32_t& t : *running) {
        if (t == p.top) t = -1;
        else if (t > p.top) --t;
      }
    }
  }
  const bool selectionMoved = selected_.top >= 0;
  shift(last_);
  shift(selected_);
  if (!peer_) return;
  if (joins) {
    if (pending_.count == 0) pending_ = Pending{p.top, p.child + 1, 0, true, false};
    --pending_.first;
    ++pending_.count;
    pending_.selection = pending_.selection || selectionMoved;
    return;
  }
  peer_->RowsRemoved(p.child < 0 ? -1 : p.top, p.child < 0 ? p.top : p.child, 1);
  if (selectionMoved) peer_->SelectionChanged();
}

void Listbox::DeleteAllRows() {
  rows_.Clear();
  pending_ = Pending{};
  std::fill(expanding_.begin(), expanding_.end(), -1);
  std::fill(collapsing_.begin(), collapsing_.end(), -1);
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
  Announce();
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
  // A row the peer has yet to hear of shows its cells when it does.
  const bool pending = !pending_.removal && pending_.count > 0 && p.top == pending_.top &&
                       p.child >= pending_.first;
  if (!pending) Announce();
  rows_.SetText(p, column, text.view());
  if (peer_ && !pending) peer_->CellChanged(p.top, p.child, column);
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
  Announce();
  rows_.SetExpanded(p.top, expanded);
  if (peer_) peer_->ExpandedChanged(p.top);
  // The rows the handler adds or removes are marked, and told of once it
  // returns.
  std::vector<int32_t>& running = expanded ? expanding_ : collapsing_;
  running.push_back(p.top);
  try {
    Raise(*this, expanded ? "ExpandRow" : "CollapseRow", {Variant(row)});
  } catch (...) {
    running.pop_back();
    Announce();
    throw;
  }
  running.pop_back();
  Announce();
}

void Listbox::Announce() {
  if (pending_.count == 0) return;
  const Pending p = std::exchange(pending_, Pending{});
  if (!peer_) return;
  if (p.removal) peer_->RowsRemoved(p.top, p.first, p.count);
  else peer_->RowsInserted(p.top, p.first, p.count);
  if (p.selection) peer_->SelectionChanged();
}

void Listbox::UserSelect(int32_t row) {
  selected_ = (row < 0 || row >= ListCount()) ? Pos{} : PosOf(row);
}

void Listbox::UserSetExpanded(int32_t row, bool expanded) {
  DeliverEvent([this, row, expanded] {
    const Pos p = PosOf(row);
    if (p.child < 0 && TreeIsFolder(p.top) && TreeExpanded(p.top) != expanded) {
      SetExpanded(row, expanded);
    } else if (peer_) {
      // The view opened or closed a row that the list keeps as it is.
      peer_->ExpandedChanged(p.top);
    }
  });
}

void Listbox::UserDoubleClick() {
  DeliverEvent([this] { Raise(*this, "DoubleClick"); });
}

void Listbox::PropertyChanged(const std::string& name, const PropertyValue&) {
  if (!peer_) return;
  Announce();
  if (ShowChange(*peer_, name)) return;
  if (name == "ColumnCount") {
    peer_->SetColumnCount(ColumnCount());
  } else if (name == "TextSize") {
    peer_->SetTextSize(TextSize());
  }
}

void Listbox::Realize(Display& display, WindowPeer& parent) {
  pending_ = Pending{};
  peer_ = display.CreateListboxPeer(parent, *this);
  peer_->SetColumnCount(ColumnCount());
  peer_->SetTextSize(TextSize());
  ShowState(*peer_);
}

void Listbox::Unrealize() {
  pending_ = Pending{};
  peer_.reset();
}

}  // namespace platform
