#pragma once

// Property lists on disk and in memory: XML and binary ("bplist00") files are read into a
// foundation::Value; values are written as XML property lists.
//
// What survives a round trip, beyond what the format itself promises:
//   - dates keep their fractional seconds and may lie anywhere between years -9999 and 9999 (a
//     fraction is written as "2024-03-05T09:05:03.25Z"; whole seconds in the usual form);
//   - negative integers keep their sign, and unsigned ones above INT64_MAX stay integers;
//   - a real keeps its value (the shortest text that reads back the same), infinities and NaN
//     included, whatever the locale;
//   - texts keep every character XML can carry, CR included.
// A text XML cannot carry (NUL and the other control characters but TAB, LF and CR, broken
// UTF-8) is never written; propertyListWithData reads such characters in a binary list's texts
// as U+FFFD. A settings domain is read by domainEntriesWithData instead, which alters nothing:
// what it reads, it writes back unchanged.
// Input that is not a property list (truncated, garbage, declaring XML entities, nested deeper
// than kMaximumDepth, cyclic or exploding binary references) yields std::nullopt; nothing
// crashes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <PellinFoundation/Export.h>
#include <PellinFoundation/Value.h>

namespace foundation {

// An entry of a settings domain's file that could not be read, and why ("an unreadable <real>",
// "a key XML cannot carry"). The key is shown with each character XML cannot carry as U+FFFD.
struct DroppedEntry {
    std::string key;
    std::string reason;
    friend bool operator==(const DroppedEntry&, const DroppedEntry&) = default;
};

// What a settings domain's file holds: the entries that could be read, and those that could not.
struct DomainEntries {
    Value values;  // a dictionary
    std::vector<DroppedEntry> dropped;
};

class PELLIN_EXPORT PropertyListSerialization {
  public:
    PropertyListSerialization() = delete;

    // Lists and dictionaries nested deeper than this are refused, on reading and on writing,
    // so that no input can exhaust the stack.
    static constexpr std::size_t kMaximumDepth = 512;

    // The value of a property list in XML or binary form; nothing when `bytes` is not one.
    static std::optional<Value> propertyListWithData(std::string_view bytes);

    // A settings domain's file: a property list, XML or binary, whose root is a dictionary;
    // nothing when `bytes` is not one. Each entry at the root costs only itself: one whose value
    // (anywhere inside it) cannot be read as stored, such as <real>1,5</real>, an integer beyond
    // 64 bits or a date without its time, or whose key or texts XML cannot carry, is left out
    // and named in `dropped`; the others are kept. Whatever is read can be written as XML and
    // reads back the same.
    static std::optional<DomainEntries> domainEntriesWithData(std::string_view bytes);

    // The value of the property-list file at `path`; nothing when it cannot be read or is
    // not a property list.
    static std::optional<Value> propertyListWithContentsOfFile(const std::string& path);

    // The XML property list of `value`; nothing when the value has no property-list form:
    // no value at all, a date that is not a finite time between the years -9999 and 9999, a
    // text or key that XML cannot carry, or nesting deeper than kMaximumDepth. Entries of no
    // value inside a list or dictionary are left out (a property list cannot hold them).
    static std::optional<std::string> xmlDataWithPropertyList(const Value& value);
};

}  // namespace foundation
