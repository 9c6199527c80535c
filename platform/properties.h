// Design-time property blocks: named values applied to an object in order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "platform/object.h"
#include "platform/text.h"

namespace platform {

struct Color {
  uint8_t red = 0, green = 0, blue = 0;
  friend bool operator==(const Color&, const Color&) = default;
};

using PropertyValue = std::variant<int32_t, bool, Color, String>;

struct PropertyEntry {
  std::string name;
  PropertyValue value;
};
using PropertyBlock = std::vector<PropertyEntry>;

// The packed form of a block: per entry the ASCII name, a space, then the
// value: an integer as 4 bytes big-endian, a Boolean as 1 byte, a colour as
// 3 bytes, a text as its 4-byte big-endian length and its UTF-8 bytes.
std::string PackBlock(const PropertyBlock& block);

// An object whose properties a block can set. Values that the object does
// not model itself are kept as given, so they can be read back.
class PropertyHolder {
 public:
  virtual ~PropertyHolder() = default;
  void SetProperty(const std::string& name, const PropertyValue& value);
  // The value last set, or nullptr when the property was never set.
  const PropertyValue* Property(const std::string& name) const;
  int32_t IntProperty(const std::string& name, int32_t fallback) const;
  bool BoolProperty(const std::string& name, bool fallback) const;
  String TextProperty(const std::string& name) const;

 protected:
  // Called after the value is stored; the object applies what it models.
  virtual void PropertyChanged(const std::string& name, const PropertyValue& value) {
    (void)name;
    (void)value;
  }

 private:
  std::map<std::string, PropertyValue> values_;
};

// Applies every entry of the block to the object, in block order.
void SetProperties(const Ref<Object>& object, const PropertyBlock& block);

}  // namespace platform
