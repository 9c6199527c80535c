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
  // A window restored off every screen, or with too little of it on one to
  // grab, comes back onto the main screen.
  const std::vector<Rect> screens = CurrentDisplay().Screens();
  if (screens.empty()) return;
  constexpr int32_t kGrip = 32;
  for (const Rect& s : screens) {
    const int64_t w = std::min<int64_t>(int64_t{bounds_.left} + bounds_.width,
                                        int64_t{s.left} + s.width) -
                      std::max(bounds_.left, s.left);
    const int64_t h = std::min<int64_t>(int64_t{bounds_.top} + bounds_.height,
                                        int64_t{s.top} + s.height) -
                      std::max(bounds_.top, s.top);
    if (w >= std::min(kGrip, bounds_.width) && h >= std::min(kGrip, bounds_.height)) return;
  }
  const Rect& main = screens.front();
  const auto clampInto = [](int64_t pos, int64_t size, int64_t from, int64_t extent) {
    return static_cast<int32_t>(std::clamp(pos, from, std::max(from, from + extent - size)));
  };
  bounds_.left = clampInto(bounds_.left, bounds_.width, main.left, main.width);
  bounds_.top = clampInto(bounds_.top, bounds_.height, main.top, main.height);
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
