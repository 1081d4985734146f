#pragma once

// Writes a Value as an XML property list, in the layout libplist and the original platform use
// (a tab per level). It is written here rather than through libplist 2.2, whose dictionaries
// look every new key up by a linear search, so that building one of n keys costs n^2 string
// comparisons (half a millisecond for a 1,000-key settings domain, 14 ms for 4,000), and whose
// dates are 32-bit whole seconds. Reals are written locale-independently in the shortest form
// that reads back as the same double; a CR in a text as "&#13;", so that it is not read as LF.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <PellinFoundation/Value.h>

namespace foundation::plist_detail {

// Nothing when the value has no property-list form (see PropertyList.h).
std::optional<std::string> xmlPropertyList(const Value& value, std::size_t maximumDepth);

// A settings domain's file, byte for byte as xmlPropertyList writes the dictionary `values`.
// `entryBounds` receives where each entry (its key and value) begins, in key order, and then
// where the last one ends, so that one entry can later be replaced without writing the others
// again; it stays empty for an empty domain. Nothing when an entry has no property-list form,
// or no value (which a domain never holds).
std::optional<std::string> xmlDomainFile(const Dictionary& values,
                                         std::vector<std::size_t>& entryBounds);

// One entry of a domain file, byte for byte as xmlDomainFile writes it; nothing when the entry
// has no property-list form (see PropertyList.h), so none can get into the file.
std::optional<std::string> xmlDomainEntry(std::string_view key, const Value& value);

}  // namespace foundation::plist_detail
