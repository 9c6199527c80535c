// Windows and controls: the framework's models of the palette's window, its
// list, its button and its timer. A display shows them through peers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/display.h"
#include "platform/object.h"
#include "platform/properties.h"
#include "platform/text.h"
#include "platform/variant.h"

namespace platform {

class Window;
class MenuBar;

using EventArgs = std::vector<Variant>;
// A handler bound on an object: called with the object that raised the
// event in the place of Self, then the event's arguments.
using EventHandler = std::function<void(const Ref<Object>& source, const EventArgs& args)>;

// An object whose events can be bound one handler per event name.
class EventSource {
 public:
  virtual ~EventSource() = default;
  void InstallHandler(const std::string& event, EventHandler handler);
  bool HasHandler(const std::string& event) const;
  // The names in the order they were bound.
  const std::vector<std::string>& BoundEvents() const { return boundOrder_; }

 protected:
  // Runs the bound handler, if any; exceptions pass to the caller.
  void Raise(Object& self, const std::string& event, const EventArgs& args = {});

 private:
  std::map<std::string, EventHandler> handlers_;
  std::vector<std::string> boundOrder_;
};

// From then on the framework calls `handler` whenever `control` raises
// `event`.
void InstallInstanceEventHandler(const Ref<Object>& control, const std::string& event,
                                 EventHandler handler);

// Something placed on a window that is no Control (the timer).
class PaneChild {
 public:
  virtual ~PaneChild() = default;
  virtual void SetWindow(const Ref<platform::Window>& window) = 0;
  virtual Ref<platform::Window> Window() = 0;
  virtual int32_t GetIndex() = 0;
  virtual void SetIndex(int32_t index) = 0;
};

class Control : public Object, public PropertyHolder, public EventSource {
 public:
  Ref<platform::Window> Window() const;
  String Name() const { return TextProperty("Name"); }
  void SetOwner(const Ref<platform::Window>& window) { window_ = window.shared(); }

 private:
  std::weak_ptr<platform::Window> window_;
};

class RectControl : public Control {
 public:
  void Constructor() {}
  Rect Bounds() const;
  // The control's peer is made when the control is added to a shown window.
  virtual void Realize(Display& display, WindowPeer& parent) = 0;
  virtual void Unrealize() = 0;
};

// Resolves the window that a handler bound on `source` runs on: a
// Control's window, a PaneChild's window, or else the source itself.
Ref<Object> HandlerSelf(const Ref<Object>& source);

namespace detail {
template <class A>
A EventArg(const EventArgs& args, std::size_t i);
template <>
inline int32_t EventArg<int32_t>(const EventArgs& args, std::size_t i) {
  return i < args.size() ? VariantToInt32(args[i]) : 0;
}
}  // namespace detail

// Binds a window method as the handler of a control's event. The handler
// starts, as every bound handler does, with `me` the control that raised
// the event and Self the window that HandlerSelf finds for it.
template <class W, class C, class... A>
EventHandler BindHandler(void (W::*method)(Ref<C> me, A...)) {
  return [method](const Ref<Object>& source, const EventArgs& args) {
    Ref<C> me = Cast<C>(source);
    Ref<W> self = Cast<W>(HandlerSelf(source));
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      (self.Deref().*method)(me, detail::EventArg<A>(args, I)...);
    }(std::index_sequence_for<A...>{});
  };
}

class Listbox : public RectControl {
 public:
  Listbox();
  ~Listbox() override;

  void AddRow(const String& text);
  void AddFolder(const String& text);
  void RemoveRow(int32_t row);
  // Removes every row, child rows included, raising no CollapseRow.
  void DeleteAllRows();
  int32_t ListCount() const;
  // The row the latest AddRow or AddFolder added, where it stands now; -1
  // when there is none.
  int32_t LastIndex() const;
  // The selected row; -1 with no selection.
  int32_t ListIndex() const;
  void SetListIndex(int32_t row);

  // Columns kept beyond ColumnCount stay readable and writable; an unwritten
  // cell reads empty. A row outside the list raises OutOfBoundsException.
  String Cell(int32_t row, int32_t column) const;
  void SetCell(int32_t row, int32_t column, const String& text);

  // Setting it on a folder row raises ExpandRow or CollapseRow with the row;
  // every other row reads False and ignores the setting.
  bool Expanded(int32_t row) const;
  void SetExpanded(int32_t row, bool expanded);
  bool RowIsFolder(int32_t row) const;

  int32_t ColumnCount() const { return IntProperty("ColumnCount", 1); }
  void SetColumnCount(int32_t count) { SetProperty("ColumnCount", count); }

  // The tree as the peer shows it.
  int32_t TopCount() const;
  int32_t ChildCount(int32_t top) const;
  String TreeCell(int32_t top, int32_t child, int32_t column) const;
  bool TreeIsFolder(int32_t top) const;
  bool TreeExpanded(int32_t top) const;
  int32_t FlatIndex(int32_t top, int32_t child) const;
  // What the user did, reported by the peer.
  void UserSelect(int32_t row);
  void UserSetExpanded(int32_t row, bool expanded);
  void UserDoubleClick();

  void Realize(Display& display, WindowPeer& parent) override;
  void Unrealize() override;

 private:
  struct Rows;
  struct Pos {
    int32_t top = -1, child = -1;
  };
  Pos PosOf(int32_t row) const;  // raises OutOfBoundsException
  void PropertyChanged(const std::string& name, const PropertyValue& value) override;

  std::unique_ptr<Rows> rows_;
  Pos last_, selected_;
  std::vector<int32_t> expanding_;  // top rows whose ExpandRow is running; -1 once gone
  std::unique_ptr<ListboxPeer> peer_;
};

class BevelButton : public RectControl {
 public:
  String Caption() const { return TextProperty("Caption"); }
  // The user pressed the button.
  void Push();
  void Realize(Display& display, WindowPeer& parent) override;
  void Unrealize() override;

 private:
  void PropertyChanged(const std::string& name, const PropertyValue& value) override;
  std::unique_ptr<ControlPeer> peer_;
};

// The framework's timer: Mode 0 off, 1 once, 2 repeating every Period ms.
class Timer : public Object, public PropertyHolder, public EventSource {
 public:
  Timer();
  ~Timer() override;
  int32_t Mode() const { return IntProperty("Mode", 2); }
  int32_t Period() const { return IntProperty("Period", 1000); }
  // The period came round: raises Action.
  void Fire();
  void Realize(Display& display);
  void Unrealize();

 private:
  void PropertyChanged(const std::string& name, const PropertyValue& value) override;
  std::unique_ptr<TimerPeer> peer_;
};

class Window : public Object, public PropertyHolder {
 public:
  Window();
  ~Window() override;

  // The framework's construction: registers the window, makes its peer and
  // raises Layout, CreateControls and Open, in that order.
  void Constructor();

  // Where the window is now, also right after the user moved it.
  int32_t Left() const { return Settled().left; }
  int32_t Top() const { return Settled().top; }
  int32_t Width() const { return Settled().width; }
  int32_t Height() const { return Settled().height; }
  void SetLeft(int32_t v);
  void SetTop(int32_t v);
  // Kept between the window's minimum and maximum size.
  void SetWidth(int32_t v);
  void SetHeight(int32_t v);
  Rect Bounds() const { return Settled(); }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  String Title() const { return TextProperty("Title"); }
  Ref<platform::MenuBar> MenuBar() const { return menuBar_; }
  void SetMenuBar(const Ref<platform::MenuBar>& bar);

  // A new control object of class T, allocated through the window and not
  // yet constructed or added.
  template <class T>
  Ref<T> New() {
    return platform::New<T>();
  }
  void AddControl(const std::string& name, const Ref<Object>& control);
  // The control registered under that name, or nil.
  Ref<Object> ControlByName(const std::string& name) const;
  const std::vector<std::pair<std::string, Ref<Object>>>& Controls() const {
    return controls_;
  }

  // The window closes: raises Close, leaves the framework's registries and
  // lets its peer and controls go.
  void Close();
  bool IsOpen() const { return open_; }
  // The runtime ends with the window still open (start-up failed): it goes
  // as on a close, but without raising Close, whose handlers may need what
  // is already gone.
  void Discard();

  // What the user did, reported by the peer.
  void UserMoved(const Rect& bounds);
  void UserClose();

  WindowPeer* peer() const { return peer_.get(); }

 protected:
  void PropertyChanged(const std::string& name, const PropertyValue& value) override;

 private:
  const Rect& Settled() const;
  void RaiseWindowEvent(const std::string& event);
  void TearDown();
  void KeepOnScreen();
  void Notify(const std::string& what);

  Rect bounds_{0, 0, 100, 100};
  bool visible_ = true;
  bool open_ = false;
  bool shown_ = false;  // Open has run and the peer shows the window
  Ref<platform::MenuBar> menuBar_;
  std::vector<std::pair<std::string, Ref<Object>>> controls_;
  std::unique_ptr<WindowPeer> peer_;
};

// The framework's registry of implicit windows, by registered class name.
Ref<Window> GetImplicitWindow(const std::string& className);

}  // namespace platform
