// What the tests read of the framework's own bookkeeping, through the seams
// its classes keep for them.
#pragma once

#include <string>
#include <vector>

#include "platform/events.h"
#include "platform/registry.h"

namespace platform {

struct ClassRegistryInspection {
  // Registered names in the order their records were built.
  static const std::vector<std::string>& BuildOrder(const ClassRegistry& registry) {
    return registry.order_;
  }
  static bool IsBuilt(const ClassRegistry& registry, const std::string& name) {
    return registry.built_.count(name) != 0;
  }
};

struct EventSourceInspection {
  // The event names in the order they were first bound.
  static const std::vector<std::string>& BoundEvents(const EventSource& source) {
    return source.boundOrder_;
  }
};

}  // namespace platform
