#pragma once

// The registered defaults of this process: one table shared by every domain and thread, kept
// in memory only.

#include <optional>
#include <string_view>

#include <PellinFoundation/Value.h>

namespace foundation::settings_detail {

// Adds `defaults`, replacing earlier registrations of the same keys; a key registered with no
// value is no longer registered.
void registerDefaults(const Dictionary& defaults);

// The value registered for `key`, if any.
std::optional<Value> registeredDefault(std::string_view key);

}  // namespace foundation::settings_detail
