// The framework's own class records, declared and built before the
// system's classes.
#include "platform/registry.h"
#include "platform/runtime.h"

namespace platform {
namespace {

ClassInfo Record(std::string name, std::string base, std::vector<std::string> slots = {}) {
  ClassInfo info;
  info.name = std::move(name);
  info.baseName = std::move(base);
  info.virtualSlots = std::move(slots);
  info.attributes = {{"__Scope", "Public"}};
  return info;
}

}  // namespace

void RegisterFrameworkClasses() {
  ClassRegistry& r = ClassRegistry::Instance();
  const std::vector<std::pair<std::string, ClassRegistry::Builder>> classes = {
      {"Object", [] { return Record("Object", ""); }},
      {"Application",
       [] {
         return Record("Application", "Object",
                       {"NewDocument", "OpenDocument", "DoEvents", "_AddMenuHandler",
                        "_AddPollableObject", "_RemovePollableObject", "AddTrayItem",
                        "RemoveTrayItem", "YieldToNextThread", "SleepCurrentThread",
                        "_DoSingleEvent", "_EnableMenuItems", "_CallOpen", "_HandleMenuCommand",
                        "_LoadPictureFromBundle", "_LoadBundleSound", "__DependencyList"});
       }},
      {"Window", [] { return Record("Window", "Object"); }},
      {"Control", [] { return Record("Control", "Object"); }},
      {"RectControl", [] { return Record("RectControl", "Control"); }},
      {"Listbox", [] { return Record("Listbox", "RectControl"); }},
      {"BevelButton", [] { return Record("BevelButton", "RectControl"); }},
      {"Timer",
       [] {
         return Record("Timer", "Object",
                       {"Reset", "addActionNotificationReceiver",
                        "removeActionNotificationReceiver", "_CallAction"});
       }},
      {"MenuItem",
       [] {
         return Record("MenuItem", "Object",
                       {"Enable", "Close", "Item(Int32)", "Count", "Child(String)",
                        "Append(MenuItem)", "Insert(Int32,MenuItem)", "Remove(Int32)",
                        "Remove(MenuItem)", "Remove(String)", "_Lookup(String)",
                        "_Lookup(String,Int32)", "MenuItem", "Constructor(String,Variant)",
                        "PopUp", "PopUp(Int32,Int32)", "_Swap(String,MenuItem)",
                        "_DisableEntirely", "_SelfEnable", "MenuItem(String,Variant)",
                        "Constructor"});
       }},
      {"MenuBar",
       [] { return Record("MenuBar", "MenuItem", {"_InstallClone(MenuItem)", "__DependencyList"}); }},
      {"QuitMenuItem", [] { return Record("QuitMenuItem", "MenuItem"); }},
      {"FolderItem", [] { return Record("FolderItem", "Object"); }},
  };
  for (const auto& [name, builder] : classes) r.Declare(name, builder);
  for (const auto& entry : classes) r.Get(entry.first);
}

}  // namespace platform
