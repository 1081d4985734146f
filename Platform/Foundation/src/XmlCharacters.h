#pragma once

// The characters an XML 1.0 document can carry: TAB, LF, CR and everything from U+0020 on,
// except the surrogates, U+FFFE and U+FFFF, all as valid UTF-8. Nothing else can be written,
// not even as a character reference, and expat refuses a document that holds it.

#include <string>
#include <string_view>

namespace foundation::plist_detail {

bool isXmlText(std::string_view text);

// `text` with each character XML cannot carry (and each byte of broken UTF-8) replaced by
// U+FFFD, so that a text read from a binary list can always be written back as XML.
std::string asXmlText(std::string_view text);

}  // namespace foundation::plist_detail
