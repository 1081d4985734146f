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

#include <PellinFoundation/Value.h>

namespace foundation::plist_detail {

// Nothing when `xml` is not a well-formed property list, declares entities of its own, or nests
// lists and dictionaries deeper than `maximumDepth`.
std::optional<Value> readXmlPropertyList(std::string_view xml, std::size_t maximumDepth);

}  // namespace foundation::plist_detail
