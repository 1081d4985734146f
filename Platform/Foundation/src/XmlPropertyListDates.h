#pragma once

// libplist 2.2 keeps a date as 32-bit whole seconds since 2001: it drops the fraction of an XML
// <date> on reading and clips every date before 1933 or after 2069. So the texts of <date>
// elements are handled here, around libplist: before it reads a document each date's text is
// swapped for a stand-in date whose seconds since 2001 are the date's position in a side table,
// and after it has written one the stand-ins are swapped back for the real texts. The same pass
// refuses nesting deeper than the caller's limit, so that no document reaches libplist's or our
// own recursion with a depth that could exhaust the stack.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <PellinFoundation/Value.h>

namespace foundation::plist_detail {

// The stand-in of the date at `index` of the side table.
Date placeholderDate(std::size_t index);

// The side-table index a stand-in date names; nothing when `seconds` is not one.
std::optional<std::size_t> placeholderIndex(double secondsSinceReferenceDate, std::size_t count);

// Before reading: appends each date of `xml` to `dates` and returns the document with stand-ins.
// Nothing when a date's text is not a date, markup is unterminated, or lists and dictionaries
// nest deeper than `maximumDepth`.
std::optional<std::string> swapXmlDatesForPlaceholders(std::string_view xml,
                                                       std::vector<Date>& dates,
                                                       std::size_t maximumDepth);

// After writing: replaces each stand-in by the text of the date it names in `dates`.
std::optional<std::string> swapPlaceholdersForXmlDates(std::string_view xml,
                                                       const std::vector<Date>& dates);

}  // namespace foundation::plist_detail
