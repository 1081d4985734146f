#pragma once

// Reads an XML property list with expat. libplist 2.2 is not used for XML: it drops a <date>'s
// fraction and clips dates to 1933-2069 (32-bit seconds since 2001), reads <real> through the
// locale (under a German LC_NUMERIC "1.5" is 1), and inserts each dictionary key after a
// linear search, so that a 4,000-key settings file takes milliseconds to read. Here dates,
// numbers and Base64 are read from the elements' text, in linear time, and the XML itself
// (entities, CDATA, comments, encodings, well-formedness) is expat's job.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/Value.h>

namespace foundation::plist_detail {

// Nothing when `xml` is not a well-formed property list, declares entities of its own, or nests
// lists and dictionaries deeper than `maximumDepth`. A value whose text cannot be read refuses
// the whole list, unless `dropped` is given and the value lies inside an entry of a dictionary
// at the root: then only that entry is left out, and named in `dropped`.
std::optional<Value> readXmlPropertyList(std::string_view xml, std::size_t maximumDepth,
                                         std::vector<DroppedEntry>* dropped = nullptr);

}  // namespace foundation::plist_detail
