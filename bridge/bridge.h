// The palette's calls into the host application. Each runs one of the host
// scripts kept with the resources, handing it the list's elements as its
// parameters in order.
#pragma once

#include <chrono>
#include <optional>

#include "platform/object.h"
#include "platform/text.h"
#include "platform/variant.h"

namespace bridge {

// The host's version (script 168).
platform::String getAiVer(const platform::Ref<platform::VariantArray>& params);
// The name of the frontmost application (script 169).
platform::String frontAppli(const platform::Ref<platform::VariantArray>& params);
// Brings the palette to the front (script 170). Spelt as the system has
// always spelt it: kept on purpose, not a typo.
void acctivemyapp(const platform::Ref<platform::VariantArray>& params);
// Has the host run a compiled script (171) or a JavaScript file (172).
platform::String goas(const platform::Ref<platform::VariantArray>& params);
platform::String gojs(const platform::Ref<platform::VariantArray>& params);

// Hands the script runner how long the host may take over each call, and
// the Apple event sender how long over the activation event; `all`, when
// given, stands in for every one of those limits.
void InstallTimeLimits(std::optional<std::chrono::milliseconds> all = std::nullopt);

}  // namespace bridge
