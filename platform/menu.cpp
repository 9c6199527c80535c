#include "platform/menu.h"

#include "platform/runtime.h"

namespace platform {

Ref<MenuItem> MenuItem::Item(int32_t index) const {
  if (index < 0 || index >= Count()) throw OutOfBoundsException();
  return children_[static_cast<std::size_t>(index)];
}

void MenuItem::Append(const Ref<MenuItem>& item) {
  if (!item) throw NilObjectException();
  children_.push_back(item);
}

Ref<MenuItem> MenuItem::Child(const String& name) const {
  for (const Ref<MenuItem>& c : children_) {
    if (c->Name() == name) return c;
  }
  return nullptr;
}

Ref<MenuItem> MenuItem::Lookup(const String& name) const {
  for (const Ref<MenuItem>& c : children_) {
    if (c->Name() == name) return c;
    if (Ref<MenuItem> found = c->Lookup(name)) return found;
  }
  return nullptr;
}

void QuitMenuItem::Action() { QuitAction(); }

}  // namespace platform
