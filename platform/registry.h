// Class registrations: one record per class, built once, holding what the
// class publishes to reflection. Records are plain data; the framework uses
// the window-event bindings, nothing else of the system reads them.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class Object;

struct Attribute {
  std::string name;
  std::string value;  // empty for a flag such as "Hidden"
};

struct MemberInfo {
  std::string name;
  std::string signature;  // "%result%args", e.g. "%%i4"
  std::vector<Attribute> attributes;
  bool HasAttribute(const std::string& name) const;
  std::string AttributeValue(const std::string& name) const;
};

struct PropertyInfo {
  std::string name;
  std::string type;  // "s", "o<FolderItem>", ...
  std::vector<Attribute> attributes;
};

struct ClassInfo {
  std::string name;       // the registered name, e.g. "Window1.Window1"
  std::string baseName;   // empty for a root class
  const ClassInfo* base = nullptr;
  std::vector<std::string> interfaces;
  std::vector<std::string> virtualSlots;  // in slot order, the base's first
  std::vector<std::string> handledEvents;
  std::vector<MemberInfo> members;        // in published order
  std::vector<PropertyInfo> properties;
  std::vector<Attribute> attributes;
  // Handlers of the object's own events, by event name ("Open", ...).
  std::map<std::string, std::function<void(Object&)>> eventHandlers;

  bool HasAttribute(const std::string& name) const;
  std::string AttributeValue(const std::string& name) const;
  // The members that reflection hands out: all but those marked "Hidden".
  std::vector<const MemberInfo*> VisibleMembers() const;
  bool IsA(const std::string& className) const;
};

// The registry of classes. A class is registered through its builder the
// first time it is asked for; later requests return the same record.
class ClassRegistry {
 public:
  using Builder = std::function<ClassInfo()>;

  static ClassRegistry& Instance();

  // Makes a builder known, without building; a known name keeps its first
  // builder.
  void Declare(const std::string& name, Builder builder);
  // The record of the class, built now (after its base's) when not yet built.
  const ClassInfo& Get(const std::string& name);
  // Drops every record (the finalisation step's release of the reflection
  // caches); builders stay declared.
  void ReleaseRecords();

 private:
  friend struct ClassRegistryInspection;  // the tests' view, in test support

  std::map<std::string, Builder> builders_;
  std::map<std::string, std::unique_ptr<ClassInfo>> built_;
  std::vector<std::string> order_;  // registered names in the order built
};

// Declares and builds the framework's own classes, in their order.
void RegisterFrameworkClasses();

}  // namespace platform
