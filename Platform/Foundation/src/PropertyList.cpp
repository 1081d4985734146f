#include <PellinFoundation/PropertyList.h>

#include <PellinFoundation/FileManager.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

#include <plist/plist.h>

#include "BinaryPropertyListCheck.h"
#include "PropertyListDate.h"
#include "XmlCharacters.h"
#include "XmlPropertyListReader.h"
#include "XmlPropertyListWriter.h"

namespace foundation {
namespace {

using namespace plist_detail;

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using OwnedPlist = std::unique_ptr<void, PlistFree>;

struct MallocFree {
    void operator()(void* p) const { std::free(p); }
};

// Turns the tree libplist read from a binary list into a Value, putting the real dates back in
// place of their stand-ins. Each step answers false when the tree cannot be trusted (problem_
// says why); `out` is left as no value for a node that has none (lists and dictionaries leave
// those out). Given `dropped`, it reads a settings domain: a text or key XML cannot carry is
// not read, and a root dictionary's entry that cannot be read is left out alone.
class BinaryTreeReader {
  public:
    BinaryTreeReader(const std::vector<Date>& dates, std::vector<DroppedEntry>* dropped)
        : dates_(dates), dropped_(dropped) {}

    bool read(plist_t node, std::size_t depth, Value& out) {
        switch (plist_get_node_type(node)) {
            case PLIST_BOOLEAN: {
                std::uint8_t b = 0;
                plist_get_bool_val(node, &b);
                out = Value(b != 0);
                return true;
            }
            case PLIST_UINT: {
                std::uint64_t bits = 0;
                plist_get_uint_val(node, &bits);
                return readInteger(node, bits, out);
            }
            case PLIST_UID: {
                std::uint64_t uid = 0;
                plist_get_uid_val(node, &uid);
                return readInteger(node, uid, out);
            }
            case PLIST_REAL: {
                double d = 0.0;
                plist_get_real_val(node, &d);
                out = Value(d);
                return true;
            }
            case PLIST_STRING: {
                std::uint64_t length = 0;
                const char* text = plist_get_string_ptr(node, &length);
                const std::string_view view = text ? std::string_view(text, length) : "";
                if (dropped_ != nullptr) {
                    out = Value(view);
                    return isXmlText(view) || refuse("a text XML cannot carry");
                }
                // Read with U+FFFD in place of what XML cannot carry, so that it can be written.
                out = Value(asXmlText(view));
                return true;
            }
            case PLIST_DATA: {
                std::uint64_t length = 0;
                const auto* bytes =
                    reinterpret_cast<const std::uint8_t*>(plist_get_data_ptr(node, &length));
                out = Value(bytes ? Data(bytes, bytes + length) : Data());
                return true;
            }
            case PLIST_DATE:
                return readDate(node, out);
            case PLIST_ARRAY:
                return readArray(node, depth, out);
            case PLIST_DICT:
                return readDictionary(node, depth, out);
            default:
                out = Value();
                return true;
        }
    }

    const std::string& problem() const { return problem_; }

  private:
    bool refuse(std::string problem) {
        problem_ = std::move(problem);
        return false;
    }

    // A value above INT64_MAX is either a negative number or an unsigned one; libplist 2.2
    // tells the two apart only in the text it writes.
    bool readInteger(plist_t node, std::uint64_t bits, Value& out) {
        if (bits <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            out = Value(static_cast<std::int64_t>(bits));
            return true;
        }
        char* xml = nullptr;
        std::uint32_t length = 0;
        plist_to_xml(node, &xml, &length);
        const std::unique_ptr<char, MallocFree> owned(xml);
        if (xml == nullptr) {
            return refuse("an unreadable integer");
        }
        const std::string_view text(xml, length);
        const std::size_t tag = text.find("<integer>");
        if (tag != std::string_view::npos && text.substr(tag + 9).starts_with('-')) {
            out = Value(static_cast<std::int64_t>(bits));
        } else {
            out = Value(bits);
        }
        return true;
    }

    bool readDate(plist_t node, Value& out) {
        std::int32_t seconds = 0;
        std::int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        const std::optional<std::size_t> index =
            microseconds == 0 ? placeholderIndex(seconds, dates_.size()) : std::nullopt;
        if (!index) {
            // Every date object was swapped: libplist read something else.
            return refuse("an unreadable date");
        }
        out = Value(dates_[*index]);
        // A binary date is any double; XML holds only a finite time of the years -9999 to 9999.
        return dropped_ == nullptr || dateText(dates_[*index]) || refuse("a date XML cannot carry");
    }

    bool readArray(plist_t node, std::size_t depth, Value& out) {
        if (depth >= PropertyListSerialization::kMaximumDepth) {
            return refuse("a list nested too deep");
        }
        const std::uint32_t count = plist_array_get_size(node);
        Array items;
        items.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            Value item;
            if (!read(plist_array_get_item(node, i), depth + 1, item)) {
                return false;
            }
            if (!item.isNone()) {
                items.push_back(std::move(item));
            }
        }
        out = Value(std::move(items));
        return true;
    }

    bool readDictionary(plist_t node, std::size_t depth, Value& out) {
        if (depth >= PropertyListSerialization::kMaximumDepth) {
            return refuse("a dictionary nested too deep");
        }
        Dictionary entries;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        const std::unique_ptr<void, MallocFree> ownedIterator(iterator);
        for (;;) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            const std::unique_ptr<char, MallocFree> ownedKey(key);
            if (item == nullptr) {
                break;
            }
            if (key == nullptr) {
                continue;
            }
            Value value;
            const bool readable =
                (dropped_ == nullptr || isXmlText(key) || refuse("a key XML cannot carry")) &&
                read(item, depth + 1, value);
            if (!readable) {
                if (depth > 0 || dropped_ == nullptr) {
                    return false;
                }
                entries.erase(std::string(key));  // a repeated key: the file says the last
                dropped_->push_back(DroppedEntry{asXmlText(key), problem_});
                continue;
            }
            if (!value.isNone()) {
                // Written in key order, so each key usually goes right at the end.
                entries.insert_or_assign(entries.end(), std::string(key), std::move(value));
            }
        }
        out = Value(std::move(entries));
        return true;
    }

    const std::vector<Date>& dates_;
    std::vector<DroppedEntry>* dropped_;
    std::string problem_;
};

// Either form; `dropped` as for the domain readers above.
std::optional<Value> readPropertyList(std::string_view bytes, std::size_t maximumDepth,
                                      std::vector<DroppedEntry>* dropped) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    if (!looksLikeBinaryPropertyList(bytes)) {
        return readXmlPropertyList(bytes, maximumDepth, dropped);
    }
    std::vector<Date> dates;
    const std::optional<std::string> checked = checkBinaryPropertyList(bytes, dates, maximumDepth);
    if (!checked) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_bin(checked->data(), static_cast<std::uint32_t>(checked->size()), &root);
    const OwnedPlist owned(root);
    Value value;
    if (root == nullptr || !BinaryTreeReader(dates, dropped).read(root, 0, value) ||
        value.isNone()) {
        return std::nullopt;
    }
    return std::optional<Value>(std::move(value));
}

}  // namespace

std::optional<Value> PropertyListSerialization::propertyListWithData(std::string_view bytes) {
    return readPropertyList(bytes, kMaximumDepth, nullptr);
}

std::optional<DomainEntries> PropertyListSerialization::domainEntriesWithData(
    std::string_view bytes) {
    DomainEntries read;
    std::optional<Value> root = readPropertyList(bytes, kMaximumDepth, &read.dropped);
    if (!root || root->dictionary() == nullptr) {
        return std::nullopt;
    }
    read.values = std::move(*root);
    return std::optional<DomainEntries>(std::move(read));
}

std::optional<Value> PropertyListSerialization::propertyListWithContentsOfFile(
    const std::string& path) {
    const std::optional<std::string> content = FileManager::contentsAtPath(path);
    return content ? propertyListWithData(*content) : std::nullopt;
}

std::optional<std::string> PropertyListSerialization::xmlDataWithPropertyList(const Value& value) {
    return xmlPropertyList(value, kMaximumDepth);
}

}  // namespace foundation
