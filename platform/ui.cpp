#include "platform/ui.h"

#include <algorithm>

#include "platform/menu.h"
#include "platform/registry.h"
#include "platform/runtime.h"

namespace platform {

// ---------------------------------------------------------------- events

void EventSource::InstallHandler(const std::string& event, EventHandler handler) {
  if (!handlers_.count(event)) boundOrder_.push_back(event);
  handlers_[event] = std::move(handler);
}

bool EventSource::HasHandler(const std::string& event) const {
  return handlers_.count(event) != 0;
}

void EventSource::Raise(Object& self, const std::string& event, const EventArgs& args) {
  auto it = handlers_.find(event);
  if (it == handlers_.end()) return;
  // A copy, so that a handler that re-binds its own event stays alive.
  EventHandler handler = it->second;
  handler(RefTo(self), args);
}

void InstallInstanceEventHandler(const Ref<Object>& control, const std::string& event,
                                 EventHandler handler) {
  auto* source = dynamic_cast<EventSource*>(&control.Deref());
  if (!source) throw IllegalCastException("object raises no events");
  source->InstallHandler(event, std::move(handler));
}

Ref<Object> HandlerSelf(const Ref<Object>& source) {
  if (auto control = TryCast<Control>(source)) return control->Window();
  if (auto* pane = dynamic_cast<PaneChild*>(source.get())) return pane->Window();
  return source;
}

Ref<Window> Control::Window() const { return Ref<platform::Window>(window_.lock()); }

Rect RectControl::Bounds() const {
  return Rect{IntProperty("Left", 0), IntProperty("Top", 0), IntProperty("Width", 0),
              IntProperty("Height", 0)};
}

// ---------------------------------------------------------------- listbox

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

// ---------------------------------------------------------------- button

void BevelButton::Push() {
  DeliverEvent([this] { Raise(*this, "Action"); });
}

void BevelButton::PropertyChanged(const std::string& name, const PropertyValue&) {
  if (peer_) peer_->Changed(name);
}

void BevelButton::Realize(Display& display, WindowPeer& parent) {
  peer_ = display.CreateButtonPeer(parent, *this);
}

void BevelButton::Unrealize() { peer_.reset(); }

// ---------------------------------------------------------------- timer

Timer::Timer() = default;
Timer::~Timer() = default;

void Timer::Fire() {
  DeliverEvent([this] { Raise(*this, "Action"); });
}

void Timer::PropertyChanged(const std::string& name, const PropertyValue&) {
  if (peer_ && (name == "Mode" || name == "Period")) peer_->Schedule(Mode(), Period());
}

void Timer::Realize(Display& display) {
  peer_ = display.CreateTimerPeer(*this);
  peer_->Schedule(Mode(), Period());
}

void Timer::Unrealize() { peer_.reset(); }

// ---------------------------------------------------------------- window

Window::Window() = default;
Window::~Window() = default;

void Window::Constructor() {
  const ClassInfo* info = Class();
  const std::string className = info ? info->name : std::string("Window");
  Ref<Window> self = RefTo(*this);
  // Registered before any handler runs, so that the handlers reach this
  // window through the implicit-instance accessor.
  RegisterOpenWindow(self, className);
  open_ = true;
  peer_ = CurrentDisplay().CreateWindowPeer(*this);
  RaiseWindowEvent("Layout");
  if (!Property("Left")) {
    const Rect placed = CurrentDisplay().DefaultPlacement(bounds_.width, bounds_.height);
    bounds_.left = placed.left;
    bounds_.top = placed.top;
    Notify("Bounds");
  }
  RaiseWindowEvent("CreateControls");
  RaiseWindowEvent("Open");
  if (!open_) return;  // the Open handler closed it
  KeepOnScreen();
  shown_ = true;
  Notify("Visible");
}

void Window::RaiseWindowEvent(const std::string& event) {
  const ClassInfo* info = Class();
  for (const ClassInfo* c = info; c; c = c->base) {
    auto it = c->eventHandlers.find(event);
    if (it != c->eventHandlers.end()) {
      it->second(*this);
      return;
    }
  }
}

void Window::Notify(const std::string& what) {
  if (peer_) peer_->Changed(what);
}

const Rect& Window::Settled() const {
  if (peer_) peer_->SettleBounds();
  return bounds_;
}

void Window::SetLeft(int32_t v) { SetProperty("Left", v); }
void Window::SetTop(int32_t v) { SetProperty("Top", v); }
void Window::SetWidth(int32_t v) { SetProperty("Width", v); }
void Window::SetHeight(int32_t v) { SetProperty("Height", v); }

void Window::SetVisible(bool visible) { SetProperty("Visible", visible); }

void Window::SetMenuBar(const Ref<platform::MenuBar>& bar) {
  menuBar_ = bar;
  Notify("MenuBar");
}

void Window::PropertyChanged(const std::string& name, const PropertyValue& value) {
  // A move the user has just made comes first: a bound set now changes
  // that place, not an older one.
  Settled();
  const auto* i = std::get_if<int32_t>(&value);
  const int32_t minW = IntProperty("MinWidth", 64), minH = IntProperty("MinHeight", 64);
  const int32_t maxW = std::max(minW, IntProperty("MaxWidth", 32000));
  const int32_t maxH = std::max(minH, IntProperty("MaxHeight", 32000));
  if (name == "Left" && i) {
    bounds_.left = *i;
    Notify("Bounds");
  } else if (name == "Top" && i) {
    bounds_.top = *i;
    Notify("Bounds");
  } else if (name == "Width" && i) {
    bounds_.width = std::clamp(*i, minW, maxW);
    Notify("Bounds");
  } else if (name == "Height" && i) {
    bounds_.height = std::clamp(*i, minH, maxH);
    Notify("Bounds");
  } else if (name == "MinWidth" || name == "MinHeight" || name == "MaxWidth" ||
             name == "MaxHeight") {
    const Rect before = bounds_;
    bounds_.width = std::clamp(bounds_.width, minW, maxW);
    bounds_.height = std::clamp(bounds_.height, minH, maxH);
    Notify("MinMax");
    if (!(before == bounds_)) Notify("Bounds");
  } else if (name == "Visible") {
    const bool* b = std::get_if<bool>(&value);
    visible_ = b && *b;
    // Shown for the first time once Open has run; until then only noted.
    if (shown_) Notify("Visible");
  } else {
    Notify(name);
  }
}

void Window::KeepOnScreen() {
  // A window restored off every screen, or with too little of it on one to
  // grab, comes back onto a screen; one larger than its screen's usable
  // area is brought down to that area, wholly on it, so that its menu bar
  // and its controls can be reached. Bounds that fit stay exactly as they
  // are.
  const std::vector<Rect> screens = CurrentDisplay().Screens();
  if (screens.empty()) return;
  struct Span {
    int64_t pos, size;
  };
  const auto overlap = [](Span a, int64_t from, int64_t extent) {
    return std::min(a.pos + a.size, from + extent) - std::max(a.pos, from);
  };
  const auto marginsOf = [this](int32_t width) {
    return peer_ ? peer_->FrameMargins(width) : Margins{};
  };
  // The whole window, menu bar included, across and down.
  const auto frameX = [](const Rect& b, const Margins& m) {
    return Span{int64_t{b.left} - m.left, int64_t{b.width} + m.left + m.right};
  };
  const auto frameY = [](const Rect& b, const Margins& m) {
    return Span{int64_t{b.top} - m.top, int64_t{b.height} + m.top + m.bottom};
  };

  constexpr int32_t kGrip = 32;
  const Margins margins = marginsOf(bounds_.width);
  const Span fx = frameX(bounds_, margins), fy = frameY(bounds_, margins);
  bool grippable = false;
  const Rect* home = &screens.front();  // the screen holding most of the window
  int64_t most = 0;
  for (const Rect& s : screens) {
    const int64_t w = overlap({bounds_.left, bounds_.width}, s.left, s.width);
    const int64_t h = overlap({bounds_.top, bounds_.height}, s.top, s.height);
    if (w >= std::min(kGrip, bounds_.width) && h >= std::min(kGrip, bounds_.height)) {
      grippable = true;
    }
    const int64_t fw = overlap(fx, s.left, s.width), fh = overlap(fy, s.top, s.height);
    if (fw > 0 && fh > 0 && fw * fh > most) {
      most = fw * fh;
      home = &s;
    }
  }
  const Rect& screen = *home;
  const bool fits = fx.size <= screen.width && fy.size <= screen.height;
  if (grippable && fits) return;

  Rect placed = bounds_;
  if (!fits) {
    const int64_t minW = IntProperty("MinWidth", 64), minH = IntProperty("MinHeight", 64);
    const int64_t roomW = screen.width - (fx.size - bounds_.width);
    const int64_t roomH = screen.height - (fy.size - bounds_.height);
    placed.width = static_cast<int32_t>(std::max(minW, std::min<int64_t>(placed.width, roomW)));
    placed.height = static_cast<int32_t>(std::max(minH, std::min<int64_t>(placed.height, roomH)));
  }
  const Margins m = marginsOf(placed.width);
  const auto clampInto = [](Span a, int64_t from, int64_t extent) {
    return std::clamp(a.pos, from, std::max(from, from + extent - a.size));
  };
  placed.left =
      static_cast<int32_t>(clampInto(frameX(placed, m), screen.left, screen.width) + m.left);
  placed.top =
      static_cast<int32_t>(clampInto(frameY(placed, m), screen.top, screen.height) + m.top);
  bounds_ = placed;
  Notify("Bounds");
}

void Window::AddControl(const std::string& name, const Ref<Object>& control) {
  if (!control) throw NilObjectException();
  for (auto& entry : controls_) {
    if (entry.first == name) {
      entry.second = control;
      return;
    }
  }
  controls_.emplace_back(name, control);
  Ref<Window> self = RefTo(*this);
  if (auto c = TryCast<Control>(control)) c->SetOwner(self);
  if (auto* pane = dynamic_cast<PaneChild*>(control.get())) pane->SetWindow(self);
  if (!peer_) return;
  if (auto rect = TryCast<RectControl>(control)) rect->Realize(CurrentDisplay(), *peer_);
  if (auto timer = TryCast<Timer>(control)) timer->Realize(CurrentDisplay());
}

Ref<Object> Window::ControlByName(const std::string& name) const {
  for (const auto& entry : controls_) {
    if (entry.first == name) return entry.second;
  }
  return nullptr;
}

void Window::Close() {
  if (!open_) return;
  Ref<Window> keep = RefTo(*this);
  // The window closes even when its Close handler fails; the failure is
  // passed on once the window is gone.
  std::exception_ptr failure;
  try {
    RaiseWindowEvent("Close");
  } catch (...) {
    failure = std::current_exception();
  }
  TearDown();
  if (failure) std::rethrow_exception(failure);
}

void Window::Discard() {
  if (!open_) return;
  Ref<Window> keep = RefTo(*this);
  TearDown();
}

void Window::TearDown() {
  open_ = false;
  const ClassInfo* info = Class();
  UnregisterWindow(*this, info ? info->name : std::string("Window"));
  for (auto& entry : controls_) {
    if (auto rect = TryCast<RectControl>(entry.second)) rect->Unrealize();
    if (auto timer = TryCast<Timer>(entry.second)) timer->Unrealize();
  }
  peer_.reset();
  // The controls go with the window; the timer's hold on its window goes
  // with it.
  controls_.clear();
}

void Window::UserMoved(const Rect& bounds) {
  bounds_ = bounds;
}

void Window::UserClose() {
  DeliverEvent([this] { Close(); });
}

}  // namespace platform
