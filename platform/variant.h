// The framework's Variant: a boxed value of one of a few kinds.
#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "platform/object.h"
#include "platform/text.h"

namespace platform {

class Variant {
 public:
  // The framework's type codes as VarType reports them.
  enum Type : int32_t {
    kTypeNil = 0,
    kTypeInt32 = 2,
    kTypeDouble = 5,
    kTypeString = 8,
    kTypeObject = 9,
    kTypeBoolean = 11,
  };

  Variant() = default;
  Variant(int32_t v) : v_(v) {}                 // NOLINT
  Variant(double v) : v_(v) {}                  // NOLINT
  Variant(bool v) : v_(v) {}                    // NOLINT
  Variant(String v) : v_(std::move(v)) {}       // NOLINT
  Variant(const char* v) : v_(String(v)) {}     // NOLINT
  Variant(Ref<Object> v) : v_(std::move(v)) {}  // NOLINT

  Type type() const;
  const auto& value() const { return v_; }

 private:
  std::variant<std::monostate, int32_t, double, bool, String, Ref<Object>> v_;
};

int32_t VarType(const Variant& value);
// The integer of an Int32 element; other kinds convert as the framework does
// (a number is truncated, a text is read with Val, anything else is 0).
int32_t VariantToInt32(const Variant& value);
// The text form of any value.
String VariantToString(const Variant& value);

// A one-dimensional array of variants, reached through a reference so that
// "no list" (nil) can be told from the empty list.
class VariantArray : public Object {
 public:
  VariantArray() = default;
  explicit VariantArray(std::vector<Variant> values) : values_(std::move(values)) {}

  // The upper bound of the one dimension: -1 when empty.
  int32_t Ubound() const { return static_cast<int32_t>(values_.size()) - 1; }
  const Variant& At(int32_t index) const;
  void Append(Variant v) { values_.push_back(std::move(v)); }

 private:
  std::vector<Variant> values_;
};

inline Ref<VariantArray> MakeList(std::vector<Variant> values = {}) {
  return New<VariantArray>(std::move(values));
}

}  // namespace platform
