#pragma once

// Reader of the string tables that bundles keep in "<lang>.lproj/<Table>.strings". It accepts
// what the old-style property-list reader of Apple's platforms accepts for these files:
//
//   /* a comment */ // another comment
//   "key" = "value";          'single' = "quotes";        unquoted_key = unquoted.value;
//   "OnlyKey";                (the value is the key itself)
//   "\U3042 \n \t \" \\ \101" (escapes: \U with up to four hex digits, surrogate pairs joined)
//
// also inside "{ ... }", and with arrays, dictionaries and data as values (parsed so that the
// file is read to its end, but left out of the table: a string table maps texts to texts).
// The file may be UTF-8 (with or without a byte-order mark) or UTF-16 with a byte-order mark.
// Everything the reader produces is valid UTF-8: an unpaired surrogate becomes U+FFFD.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <PellinFoundation/Export.h>

namespace foundation {

using StringsTable = std::map<std::string, std::string, std::less<>>;

class PELLIN_EXPORT StringsFile {
  public:
    StringsFile() = delete;

    // The table held by `bytes`, or nothing when they are not a well-formed string table; then
    // `whyNot`, when given, tells where and what is wrong ("line 3: missing ';'").
    static std::optional<StringsTable> parse(std::string_view bytes, std::string* whyNot = nullptr);

    // The same for a file. A missing or unreadable file is not well-formed either.
    static std::optional<StringsTable> read(const std::filesystem::path& path,
                                            std::string* whyNot = nullptr);
};

}  // namespace foundation
