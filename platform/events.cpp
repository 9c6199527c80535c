#include "platform/events.h"

#include "platform/control.h"
#include "platform/window.h"

namespace platform {

void EventSource::InstallHandler(const std::string& event, EventHandler handler) {
  if (!handlers_.count(event)) boundOrder_.push_back(event);
  handlers_[event] = std::move(handler);
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

}  // namespace platform
