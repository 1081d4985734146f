#include <PellinFoundation/PropertyList.h>

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

#include <plist/plist.h>

#include "BinaryPropertyListCheck.h"
#include "PropertyListDate.h"
#include "XmlPropertyListDates.h"

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

// libplist reads and writes reals with the C library's number conversions, which follow the
// locale: under a German LC_NUMERIC "1.5" would read as 1. Every call into it runs with the
// "C" locale on the calling thread, whatever the program has set.
class CLocaleScope {
  public:
    CLocaleScope() {
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
        previous_ = cLocale != locale_t{} ? uselocale(cLocale) : locale_t{};
    }
    ~CLocaleScope() {
        if (previous_ != locale_t{}) {
            uselocale(previous_);
        }
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    locale_t previous_{};
};

// Turns libplist's tree into a Value, putting the real dates back in place of their stand-ins.
class TreeReader {
  public:
    TreeReader(const std::vector<Date>& dates, bool eachDateOnce)
        : dates_(dates), used_(dates.size(), false), eachDateOnce_(eachDateOnce) {}

    std::optional<Value> read(plist_t node, std::size_t depth) {
        switch (plist_get_node_type(node)) {
            case PLIST_BOOLEAN: {
                std::uint8_t b = 0;
                plist_get_bool_val(node, &b);
                return Value(b != 0);
            }
            case PLIST_UINT: {
                std::uint64_t bits = 0;
                plist_get_uint_val(node, &bits);
                return integerValue(node, bits);
            }
            case PLIST_UID: {
                std::uint64_t uid = 0;
                plist_get_uid_val(node, &uid);
                return integerValue(node, uid);
            }
            case PLIST_REAL: {
                double d = 0.0;
                plist_get_real_val(node, &d);
                return Value(d);
            }
            case PLIST_STRING: {
                std::uint64_t length = 0;
                const char* text = plist_get_string_ptr(node, &length);
                return text ? Value(std::string(text, length)) : Value(std::string());
            }
            case PLIST_DATA: {
                std::uint64_t length = 0;
                const auto* bytes =
                    reinterpret_cast<const std::uint8_t*>(plist_get_data_ptr(node, &length));
                return bytes ? Value(Data(bytes, bytes + length)) : Value(Data());
            }
            case PLIST_DATE:
                return dateValue(node);
            case PLIST_ARRAY:
                return arrayValue(node, depth);
            case PLIST_DICT:
                return dictionaryValue(node, depth);
            default:
                return Value();  // no value; lists and dictionaries leave it out
        }
    }

    bool everyDateRead() const {
        for (const bool used : used_) {
            if (!used) {
                return false;
            }
        }
        return true;
    }

  private:
    // A value above INT64_MAX is either a negative number or an unsigned one beyond what a
    // Value holds as an integer; libplist 2.2 tells the two apart only in the text it writes.
    // The unsigned one becomes a real, so that it keeps its magnitude instead of turning
    // negative.
    static std::optional<Value> integerValue(plist_t node, std::uint64_t bits) {
        if (bits <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return Value(static_cast<std::int64_t>(bits));
        }
        char* xml = nullptr;
        std::uint32_t length = 0;
        plist_to_xml(node, &xml, &length);
        const std::unique_ptr<char, MallocFree> owned(xml);
        if (xml == nullptr) {
            return std::nullopt;
        }
        const std::string_view text(xml, length);
        const std::size_t tag = text.find("<integer>");
        if (tag != std::string_view::npos && text.substr(tag + 9).starts_with('-')) {
            return Value(static_cast<std::int64_t>(bits));
        }
        return Value(static_cast<double>(bits));
    }

    std::optional<Value> dateValue(plist_t node) {
        std::int32_t seconds = 0;
        std::int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        const std::optional<std::size_t> index =
            microseconds == 0 ? placeholderIndex(seconds, dates_.size()) : std::nullopt;
        // A date that is no stand-in, or a stand-in met twice in XML, means that libplist saw
        // the document differently from the date pass: the document is not trusted.
        if (!index || (eachDateOnce_ && used_[*index])) {
            return std::nullopt;
        }
        used_[*index] = true;
        return Value(dates_[*index]);
    }

    std::optional<Value> arrayValue(plist_t node, std::size_t depth) {
        if (depth >= PropertyListSerialization::kMaximumDepth) {
            return std::nullopt;
        }
        const std::uint32_t count = plist_array_get_size(node);
        Array items;
        items.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::optional<Value> item = read(plist_array_get_item(node, i), depth + 1);
            if (!item) {
                return std::nullopt;
            }
            if (!item->isNone()) {
                items.push_back(std::move(*item));
            }
        }
        return Value(std::move(items));
    }

    std::optional<Value> dictionaryValue(plist_t node, std::size_t depth) {
        if (depth >= PropertyListSerialization::kMaximumDepth) {
            return std::nullopt;
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
            std::optional<Value> value = read(item, depth + 1);
            if (!value) {
                return std::nullopt;
            }
            if (key != nullptr && !value->isNone()) {
                entries.insert_or_assign(std::string(key), std::move(*value));
            }
        }
        return Value(std::move(entries));
    }

    const std::vector<Date>& dates_;
    std::vector<bool> used_;
    bool eachDateOnce_;
};

// Builds libplist's tree of a Value; dates go in as stand-ins and their texts in `dates`.
class TreeWriter {
  public:
    // Nothing for a value with no property-list form; see the header.
    std::optional<OwnedPlist> write(const Value& value, std::size_t depth) {
        plist_t node = nullptr;
        switch (value.kind()) {
            case Value::Kind::None:
                return std::nullopt;
            case Value::Kind::Boolean:
                node = plist_new_bool(*value.boolean() ? 1 : 0);
                break;
            case Value::Kind::Integer:
                // Kept as 8 bytes, which libplist writes as a signed number.
                node = plist_new_uint(static_cast<std::uint64_t>(*value.integer()));
                break;
            case Value::Kind::Real:
                node = plist_new_real(*value.real());
                break;
            case Value::Kind::Text:
                if (value.text()->find('\0') != std::string::npos) {
                    return std::nullopt;  // XML cannot carry it, and libplist would cut it short
                }
                node = plist_new_string(value.text()->c_str());
                break;
            case Value::Kind::Date:
                if (!dateText(*value.date()) || dates_.size() >= kMaximumDates) {
                    return std::nullopt;
                }
                dates_.push_back(*value.date());
                node = plist_new_date(static_cast<std::int32_t>(dates_.size() - 1), 0);
                break;
            case Value::Kind::Data:
                node = plist_new_data(reinterpret_cast<const char*>(value.data()->data()),
                                      value.data()->size());
                break;
            case Value::Kind::Array:
                return arrayNode(*value.array(), depth);
            case Value::Kind::Dictionary:
                return dictionaryNode(*value.dictionary(), depth);
        }
        if (node == nullptr) {
            return std::nullopt;
        }
        return OwnedPlist(node);
    }

    const std::vector<Date>& dates() const { return dates_; }

  private:
    static constexpr std::size_t kMaximumDates = std::numeric_limits<std::int32_t>::max();

    std::optional<OwnedPlist> arrayNode(const Array& items, std::size_t depth) {
        if (depth >= PropertyListSerialization::kMaximumDepth) {
            return std::nullopt;
        }
        OwnedPlist array(plist_new_array());
        for (const Value& item : items) {
            if (item.isNone()) {
                continue;
            }
            std::optional<OwnedPlist> child = write(item, depth + 1);
            if (!child) {
                return std::nullopt;
            }
            plist_array_append_item(array.get(), child->release());
        }
        return array;
    }

    std::optional<OwnedPlist> dictionaryNode(const Dictionary& entries, std::size_t depth) {
        if (depth >= PropertyListSerialization::kMaximumDepth) {
            return std::nullopt;
        }
        OwnedPlist dictionary(plist_new_dict());
        for (const auto& [key, item] : entries) {
            if (item.isNone()) {
                continue;
            }
            if (key.find('\0') != std::string::npos) {
                return std::nullopt;
            }
            std::optional<OwnedPlist> child = write(item, depth + 1);
            if (!child) {
                return std::nullopt;
            }
            plist_dict_set_item(dictionary.get(), key.c_str(), child->release());
        }
        return dictionary;
    }

    std::vector<Date> dates_;
};

std::optional<std::string> readWholeFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_size > 0) {
        content.reserve(static_cast<std::size_t>(info.st_size));
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return content;
}

}  // namespace

std::optional<Value> PropertyListSerialization::propertyListWithData(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    std::vector<Date> dates;
    const bool binary = looksLikeBinaryPropertyList(bytes);
    const std::optional<std::string> prepared =
        binary ? checkBinaryPropertyList(bytes, dates, kMaximumDepth)
               : swapXmlDatesForPlaceholders(bytes, dates, kMaximumDepth);
    if (!prepared) {
        return std::nullopt;
    }
    const CLocaleScope cLocale;
    plist_t root = nullptr;
    const auto length = static_cast<std::uint32_t>(prepared->size());
    if (binary) {
        plist_from_bin(prepared->data(), length, &root);
    } else {
        plist_from_xml(prepared->data(), length, &root);
    }
    const OwnedPlist owned(root);
    if (root == nullptr) {
        return std::nullopt;
    }
    // A binary list may name one date object many times; in XML each date is read once.
    TreeReader reader(dates, !binary);
    std::optional<Value> value = reader.read(root, 0);
    if (!value || value->isNone() || (!binary && !reader.everyDateRead())) {
        return std::nullopt;
    }
    return value;
}

std::optional<Value> PropertyListSerialization::propertyListWithContentsOfFile(
    const std::string& path) {
    const std::optional<std::string> content = readWholeFile(path);
    return content ? propertyListWithData(*content) : std::nullopt;
}

std::optional<std::string> PropertyListSerialization::xmlDataWithPropertyList(const Value& value) {
    TreeWriter writer;
    std::optional<OwnedPlist> root = writer.write(value, 0);
    if (!root) {
        return std::nullopt;
    }
    const CLocaleScope cLocale;
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root->get(), &xml, &length);
    const std::unique_ptr<char, MallocFree> owned(xml);
    if (xml == nullptr) {
        return std::nullopt;
    }
    const std::string_view text(xml, length);
    if (writer.dates().empty()) {
        return std::string(text);
    }
    return swapPlaceholdersForXmlDates(text, writer.dates());
}

}  // namespace foundation
