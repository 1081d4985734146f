#pragma once

// How a stored setting reads as a Boolean or a text, whatever kind it was stored as.

#include <optional>
#include <string>

#include <PellinFoundation/Value.h>

namespace foundation::settings_detail {

// A Boolean or number is true when non-zero (NaN included, as it is not zero); a text is true
// when it reads, ignoring case and surrounding blanks, as "YES", "true" or a non-zero decimal
// number. Everything else, "NO" and no value included, is false.
bool boolFromValue(const Value& value);

// A text as it is; an integer in decimal; a real in the shortest form that reads back the same
// ("2.5", "1e+300"); a Boolean as "1" or "0". Other kinds give nothing.
std::optional<std::string> stringFromValue(const Value& value);

}  // namespace foundation::settings_detail
