#include "platform/window.h"

#include <algorithm>

#include "platform/control.h"
#include "platform/menu.h"
#include "platform/registry.h"
#include "platform/runtime.h"
#include "platform/timer.h"

namespace platform {

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
  // The model may have been given its properties before it had a peer.
  ShowFrame();
  peer_->SetSizeLimits(Limits());
  if (!Title().IsEmpty()) peer_->SetTitle(Title());
  ShowMenuBar();
  ShowBounds();
  RaiseWindowEvent("Layout");
  if (!Property("Left")) {
    const Rect placed = CurrentDisplay().DefaultPlacement(bounds_.width, bounds_.height);
    bounds_.left = placed.left;
    bounds_.top = placed.top;
    ShowBounds();
  }
  RaiseWindowEvent("CreateControls");
  RaiseWindowEvent("Open");
  if (!open_) return;  // the Open handler closed it
  KeepOnScreen();
  shown_ = true;
  if (peer_) peer_->SetVisible(visible_);
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

SizeLimits Window::Limits() const {
  SizeLimits l;
  l.minWidth = IntProperty("MinWidth", kMinSize);
  l.minHeight = IntProperty("MinHeight", kMinSize);
  l.maxWidth = std::max(l.minWidth, IntProperty("MaxWidth", kMaxSize));
  l.maxHeight = std::max(l.minHeight, IntProperty("MaxHeight", kMaxSize));
  return l;
}

const Rect& Window::Settled() const {
  if (peer_) peer_->SettleBounds();
  return bounds_;
}

void Window::ShowBounds() {
  if (peer_) peer_->SetBounds(bounds_);
}

void Window::ShowFrame() {
  if (!peer_) return;
  // Frame codes other than the global floating window's show as a document
  // window; that one has no minimize button unless asked for.
  constexpr auto kFloating = static_cast<int32_t>(WindowFrame::kGlobalFloating);
  const WindowFrame frame =
      IntProperty("Frame", 0) == kFloating ? WindowFrame::kGlobalFloating : WindowFrame::kDocument;
  const WindowButtons buttons{
      BoolProperty("CloseButton", true),
      BoolProperty("MinimizeButton", frame != WindowFrame::kGlobalFloating),
      BoolProperty("MaximizeButton", true)};
  peer_->SetFrame(frame, buttons, BoolProperty("Resizeable", true));
}

void Window::ShowMenuBar() {
  if (peer_) peer_->SetMenuBar(menuBar_, BoolProperty("MenuBarVisible", true));
}

void Window::SetLeft(int32_t v) { SetProperty("Left", v); }
void Window::SetTop(int32_t v) { SetProperty("Top", v); }
void Window::SetWidth(int32_t v) { SetProperty("Width", v); }
void Window::SetHeight(int32_t v) { SetProperty("Height", v); }

void Window::SetVisible(bool visible) { SetProperty("Visible", visible); }

void Window::SetMenuBar(const Ref<platform::MenuBar>& bar) {
  menuBar_ = bar;
  ShowMenuBar();
}

void Window::PropertyChanged(const std::string& name, const PropertyValue& value) {
  // A move the user has just made comes first: a bound set now changes
  // that place, not an older one.
  Settled();
  const auto* i = std::get_if<int32_t>(&value);
  const SizeLimits limits = Limits();
  if (name == "Left" && i) {
    bounds_.left = *i;
    ShowBounds();
  } else if (name == "Top" && i) {
    bounds_.top = *i;
    ShowBounds();
  } else if (name == "Width" && i) {
    bounds_.width = std::clamp(*i, limits.minWidth, limits.maxWidth);
    ShowBounds();
  } else if (name == "Height" && i) {
    bounds_.height = std::clamp(*i, limits.minHeight, limits.maxHeight);
    ShowBounds();
  } else if (name == "MinWidth" || name == "MinHeight" || name == "MaxWidth" ||
             name == "MaxHeight") {
    const Rect before = bounds_;
    bounds_.width = std::clamp(bounds_.width, limits.minWidth, limits.maxWidth);
    bounds_.height = std::clamp(bounds_.height, limits.minHeight, limits.maxHeight);
    if (peer_) peer_->SetSizeLimits(limits);
    if (!(before == bounds_)) ShowBounds();
  } else if (name == "Visible") {
    const bool* b = std::get_if<bool>(&value);
    visible_ = b && *b;
    // Shown for the first time once Open has run; until then only noted.
    if (shown_ && peer_) peer_->SetVisible(visible_);
  } else if (name == "Title") {
    if (peer_) peer_->SetTitle(Title());
  } else if (name == "Frame" || name == "CloseButton" || name == "MinimizeButton" ||
             name == "MaximizeButton" || name == "Resizeable") {
    ShowFrame();
  } else if (name == "MenuBarVisible") {
    ShowMenuBar();
  }
}

void Window::KeepOnScreen() {
  // One rule, the menu bar included: a window is within reach when the top
  // of its frame (its menu bar) stands on a screen, with enough of the
  // window below it and across to grab. Bounds within reach that fit their
  // screen stay exactly as they are; any other window comes onto the screen
  // holding most of it, brought down to that screen's usable area where it
  // is larger, its menu bar on the screen.
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

  constexpr int64_t kGrip = 32;
  const Margins margins = marginsOf(bounds_.width);
  const Span fx = frameX(bounds_, margins), fy = frameY(bounds_, margins);
  bool reachable = false;
  const Rect* home = &screens.front();  // the screen holding most of the window
  int64_t most = 0;
  for (const Rect& s : screens) {
    const bool barOnScreen =
        fy.pos >= s.top && fy.pos + std::min(kGrip, fy.size) <= int64_t{s.top} + s.height;
    if (barOnScreen && overlap(fx, s.left, s.width) >= std::min(kGrip, fx.size)) {
      reachable = true;
    }
    const int64_t fw = overlap(fx, s.left, s.width), fh = overlap(fy, s.top, s.height);
    if (fw > 0 && fh > 0 && fw * fh > most) {
      most = fw * fh;
      home = &s;
    }
  }
  const Rect& screen = *home;
  const bool fits = fx.size <= screen.width && fy.size <= screen.height;
  if (reachable && fits) return;

  Rect placed = bounds_;
  if (!fits) {
    const SizeLimits limits = Limits();
    const int64_t roomW = screen.width - (fx.size - bounds_.width);
    const int64_t roomH = screen.height - (fy.size - bounds_.height);
    placed.width = static_cast<int32_t>(
        std::max<int64_t>(limits.minWidth, std::min<int64_t>(placed.width, roomW)));
    placed.height = static_cast<int32_t>(
        std::max<int64_t>(limits.minHeight, std::min<int64_t>(placed.height, roomH)));
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
  ShowBounds();
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
