#include "platform/variant.h"

#include <cmath>
#include <sstream>

namespace platform {

Variant::Type Variant::type() const {
  switch (v_.index()) {
    case 1: return kTypeInt32;
    case 2: return kTypeDouble;
    case 3: return kTypeBoolean;
    case 4: return kTypeString;
    case 5: return std::get<Ref<Object>>(v_) ? kTypeObject : kTypeNil;
    default: return kTypeNil;
  }
}

int32_t VarType(const Variant& value) { return value.type(); }

int32_t VariantToInt32(const Variant& value) {
  const auto& v = value.value();
  if (auto* i = std::get_if<int32_t>(&v)) return *i;
  if (auto* d = std::get_if<double>(&v)) return ToInt32(*d);
  if (auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
  if (auto* s = std::get_if<String>(&v)) return ToInt32(Val(*s));
  return 0;
}

String VariantToString(const Variant& value) {
  const auto& v = value.value();
  if (auto* i = std::get_if<int32_t>(&v)) return Str(*i);
  if (auto* d = std::get_if<double>(&v)) {
    std::ostringstream out;
    out.precision(15);
    out << *d;
    return String(out.str());
  }
  if (auto* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
  if (auto* s = std::get_if<String>(&v)) return *s;
  return String();
}

const Variant& VariantArray::At(int32_t index) const {
  if (index < 0 || index > Ubound()) throw OutOfBoundsException();
  return values_[static_cast<std::size_t>(index)];
}

}  // namespace platform
