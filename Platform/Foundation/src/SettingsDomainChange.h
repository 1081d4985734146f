#pragma once

// The next version of a settings domain after one key is set or removed: its values and the
// bytes of its file. A set costs in proportion to the one entry, not to the domain: the values
// are changed in place when no one else holds them, and when this process wrote the current
// file, only the changed entry is written and the bytes of the others are copied as they stand.
// The result is byte for byte what writing the whole domain would give.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <PellinFoundation/Value.h>

#include "SettingsDomainSnapshot.h"

namespace foundation::settings_detail {

// A key set to a value, or removed.
struct DomainChange {
    std::string_view key;
    const Value* value = nullptr;  // nullptr: the key is removed
    std::string_view entry;        // with a value: its entry, as xmlDomainEntry writes it
};

// Whether `change` would change anything in `values`.
bool changesSomething(const Dictionary& values, const DomainChange& change);

// The domain `current` after `change`: a Valid snapshot without identity, whose `root` is the
// current one changed in place when `current` held the last reference to it. Nothing when the
// domain has no XML form (an earlier entry of the file the writer refuses).
std::optional<DomainSnapshot> applyChange(DomainSnapshot current, const DomainChange& change);

}  // namespace foundation::settings_detail
