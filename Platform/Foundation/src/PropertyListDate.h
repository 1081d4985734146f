#pragma once

// The text of a property list's <date>: "2024-03-05T09:05:03Z", in UTC. A date with a fraction
// of a second carries it after the seconds ("2024-03-05T09:05:03.25Z"), written with as few
// digits as read back to the very same double. Years run from -9999 to 9999, so no date of a
// settings file is ever clipped to the 32-bit seconds that libplist 2.2 hands out.

#include <optional>
#include <string>
#include <string_view>

#include <PellinFoundation/Value.h>

namespace foundation::plist_detail {

// Nothing for a date that is not finite or lies outside the years -9999 to 9999.
std::optional<std::string> dateText(const Date& date);

// Nothing unless `text` is exactly such a date (no blanks around it).
std::optional<Date> dateFromText(std::string_view text);

}  // namespace foundation::plist_detail
