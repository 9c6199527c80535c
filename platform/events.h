// Events: a handler bound per event name on an object, and the binding of a
// window's methods as its controls' handlers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/object.h"
#include "platform/variant.h"

namespace platform {

using EventArgs = std::vector<Variant>;
// A handler bound on an object: called with the object that raised the
// event in the place of Self, then the event's arguments.
using EventHandler = std::function<void(const Ref<Object>& source, const EventArgs& args)>;

// An object whose events can be bound one handler per event name.
class EventSource {
 public:
  virtual ~EventSource() = default;
  void InstallHandler(const std::string& event, EventHandler handler);

 protected:
  // Runs the bound handler, if any; exceptions pass to the caller.
  void Raise(Object& self, const std::string& event, const EventArgs& args = {});

 private:
  friend struct EventSourceInspection;  // the tests' view, in test support

  std::map<std::string, EventHandler> handlers_;
  std::vector<std::string> boundOrder_;  // the names in the order first bound
};

// From then on the framework calls `handler` whenever `control` raises
// `event`.
void InstallInstanceEventHandler(const Ref<Object>& control, const std::string& event,
                                 EventHandler handler);

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

}  // namespace platform
