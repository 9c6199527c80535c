#include "platform/registry.h"

#include <algorithm>
#include <memory>

#include "platform/object.h"

namespace platform {
namespace {

const Attribute* FindAttribute(const std::vector<Attribute>& list,
                               const std::string& name) {
  auto it = std::find_if(list.begin(), list.end(),
                         [&](const Attribute& a) { return a.name == name; });
  return it == list.end() ? nullptr : &*it;
}

}  // namespace

bool MemberInfo::HasAttribute(const std::string& n) const {
  return FindAttribute(attributes, n) != nullptr;
}
std::string MemberInfo::AttributeValue(const std::string& n) const {
  const Attribute* a = FindAttribute(attributes, n);
  return a ? a->value : std::string();
}
bool ClassInfo::HasAttribute(const std::string& n) const {
  return FindAttribute(attributes, n) != nullptr;
}
std::string ClassInfo::AttributeValue(const std::string& n) const {
  const Attribute* a = FindAttribute(attributes, n);
  return a ? a->value : std::string();
}

std::vector<const MemberInfo*> ClassInfo::VisibleMembers() const {
  std::vector<const MemberInfo*> out;
  for (const MemberInfo& m : members) {
    if (!m.HasAttribute("Hidden")) out.push_back(&m);
  }
  return out;
}

bool ClassInfo::IsA(const std::string& className) const {
  for (const ClassInfo* c = this; c; c = c->base) {
    if (c->name == className) return true;
  }
  return false;
}

ClassRegistry& ClassRegistry::Instance() {
  static ClassRegistry registry;
  return registry;
}

void ClassRegistry::Declare(const std::string& name, Builder builder) {
  builders_.emplace(name, std::move(builder));
}

const ClassInfo& ClassRegistry::Get(const std::string& name) {
  if (auto it = built_.find(name); it != built_.end()) return *it->second;
  auto b = builders_.find(name);
  if (b == builders_.end()) {
    throw RuntimeException("class not declared: " + name);
  }
  ClassInfo info = b->second();
  const ClassInfo* base = info.baseName.empty() ? nullptr : &Get(info.baseName);
  // The base may have been built just now; the record for this name may not.
  if (auto it = built_.find(name); it != built_.end()) return *it->second;
  auto record = std::make_unique<ClassInfo>(std::move(info));
  record->base = base;
  if (base) {
    std::vector<std::string> slots = base->virtualSlots;
    for (const std::string& s : record->virtualSlots) slots.push_back(s);
    record->virtualSlots = std::move(slots);
  }
  const ClassInfo& ref = *record;
  built_.emplace(name, std::move(record));
  order_.push_back(name);
  return ref;
}

void ClassRegistry::ReleaseRecords() {
  built_.clear();
  order_.clear();
}

}  // namespace platform
