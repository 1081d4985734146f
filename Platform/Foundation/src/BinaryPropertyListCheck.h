#pragma once

// libplist 2.2 reads a binary property list by recursion, and it turns every reference into a
// node of its own, so that a few hundred bytes of objects that refer to each other twice over
// ask for 2^40 nodes, and a long enough chain of nested lists overflows the stack. Its dates
// also come out as 32-bit whole seconds. So a binary list is looked over here first: its
// trailer, offsets and references must lie inside the file, its objects must form no cycle,
// nest no deeper than the caller's limit and expand to a bounded number of nodes; and each
// date's 8-byte time is swapped for a stand-in date whose seconds since 2001 are the date's
// position in a side table, where its real time is kept.

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

// True when `bytes` claims to be a binary property list, so that XML is not worth trying.
bool looksLikeBinaryPropertyList(std::string_view bytes);

// The list with its dates swapped for stand-ins (their times appended to `dates`), or nothing
// when it is malformed or beyond the limits above.
std::optional<std::string> checkBinaryPropertyList(std::string_view bytes, std::vector<Date>& dates,
                                                   std::size_t maximumDepth);

}  // namespace foundation::plist_detail
