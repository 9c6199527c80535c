#include "platform/properties.h"

namespace platform {
namespace {

void PutInt32(std::string& out, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<char>((u >> shift) & 0xff));
  }
}

}  // namespace

std::string PackBlock(const PropertyBlock& block) {
  std::string out;
  for (const PropertyEntry& e : block) {
    out += e.name;
    out.push_back(' ');
    std::visit(
        [&out](const auto& v) {
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, int32_t>) {
            PutInt32(out, v);
          } else if constexpr (std::is_same_v<T, bool>) {
            out.push_back(v ? 1 : 0);
          } else if constexpr (std::is_same_v<T, Color>) {
            out.push_back(static_cast<char>(v.red));
            out.push_back(static_cast<char>(v.green));
            out.push_back(static_cast<char>(v.blue));
          } else {
            PutInt32(out, static_cast<int32_t>(v.LenB()));
            out += v.str();
          }
        },
        e.value);
  }
  return out;
}

void PropertyHolder::SetProperty(const std::string& name, const PropertyValue& value) {
  values_[name] = value;
  PropertyChanged(name, value);
}

const PropertyValue* PropertyHolder::Property(const std::string& name) const {
  auto it = values_.find(name);
  return it == values_.end() ? nullptr : &it->second;
}

int32_t PropertyHolder::IntProperty(const std::string& name, int32_t fallback) const {
  const PropertyValue* v = Property(name);
  const auto* i = v ? std::get_if<int32_t>(v) : nullptr;
  return i ? *i : fallback;
}

bool PropertyHolder::BoolProperty(const std::string& name, bool fallback) const {
  const PropertyValue* v = Property(name);
  const auto* b = v ? std::get_if<bool>(v) : nullptr;
  return b ? *b : fallback;
}

String PropertyHolder::TextProperty(const std::string& name) const {
  const PropertyValue* v = Property(name);
  const auto* s = v ? std::get_if<String>(v) : nullptr;
  return s ? *s : String();
}

void SetProperties(const Ref<Object>& object, const PropertyBlock& block) {
  auto* holder = dynamic_cast<PropertyHolder*>(&object.Deref());
  if (!holder) throw IllegalCastException("object takes no properties");
  for (const PropertyEntry& e : block) holder->SetProperty(e.name, e.value);
}

}  // namespace platform
