#include "XmlPropertyListReader.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "PropertyListDate.h"

namespace foundation::plist_detail {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Decimal or "0x" hexadecimal, with an optional sign, from INT64_MIN to UINT64_MAX.
bool integerValue(std::string_view text, Value& out) {
    text = trimmed(text);
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) {
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t magnitude = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return false;
    }
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (magnitude > kMax + 1) {
            return false;
        }
        out = Value(static_cast<std::int64_t>(0 - magnitude));
    } else {
        out = Value(magnitude);
    }
    return true;
}

// Locale-independent; "nan", "inf", "+infinity" and "-infinity" included.
bool realValue(std::string_view text, Value& out) {
    text = trimmed(text);
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    double d = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), d);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return false;
    }
    out = Value(d);
    return true;
}

bool dataValue(std::string_view text, Value& out) {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    Data bytes;
    bytes.reserve(text.size() * 3 / 4);
    std::uint32_t bits = 0;
    int count = 0;
    int padding = 0;
    for (const char c : text) {
        if (isBlank(c)) {
            continue;
        }
        if (c == '=') {
            ++padding;
            continue;
        }
        const std::size_t index = kAlphabet.find(c);
        if (index == std::string_view::npos || padding > 0) {
            return false;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(index);
        if (++count == 4) {
            bytes.push_back(static_cast<std::uint8_t>(bits >> 16));
            bytes.push_back(static_cast<std::uint8_t>(bits >> 8));
            bytes.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || padding > 2 || (padding > 0 && (count + padding) % 4 != 0)) {
        return false;
    }
    if (count == 2) {
        bytes.push_back(static_cast<std::uint8_t>(bits >> 4));
    } else if (count == 3) {
        bytes.push_back(static_cast<std::uint8_t>(bits >> 10));
        bytes.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    out = Value(std::move(bytes));
    return true;
}

enum class Element { Plist, Array, Dict, Key, String, Integer, Real, Date, Data, True, False };

std::optional<Element> elementNamed(std::string_view name) {
    static constexpr std::pair<std::string_view, Element> kElements[] = {
        {"plist", Element::Plist}, {"array", Element::Array},   {"dict", Element::Dict},
        {"key", Element::Key},     {"string", Element::String}, {"integer", Element::Integer},
        {"real", Element::Real},   {"date", Element::Date},     {"data", Element::Data},
        {"true", Element::True},   {"false", Element::False},
    };
    for (const auto& [spelling, element] : kElements) {
        if (name == spelling) {
            return element;
        }
    }
    return std::nullopt;
}

// Builds the value from expat's events. Containers under construction are kept on a stack of
// their own, so that neither the nesting nor the destruction of a refused document recurses.
class Builder {
  public:
    Builder(XML_Parser parser, std::size_t maximumDepth, std::vector<DroppedEntry>* dropped)
        : parser_(parser), maximumDepth_(maximumDepth), dropped_(dropped) {}

    void start(const char* name) {
        if (failed_) {
            return;
        }
        const std::optional<Element> element = elementNamed(name);
        if (!element || collecting_ || finished_) {
            return fail();
        }
        switch (*element) {
            case Element::Plist:
                if (sawPlist_ || !open_.empty()) {
                    return fail();
                }
                sawPlist_ = true;
                return;
            case Element::Array:
            case Element::Dict:
                if (open_.size() >= maximumDepth_ || !placeable()) {
                    return fail();
                }
                open_.push_back(Open{*element, {}, {}, {}, false});
                return;
            case Element::Key:
                if (open_.empty() || open_.back().kind != Element::Dict || open_.back().hasKey) {
                    return fail();
                }
                break;
            default:
                if (!placeable()) {
                    return fail();
                }
        }
        collecting_ = element;
        text_.clear();
    }

    void end(const char* name) {
        if (failed_) {
            return;  // expat may still report the end of an element after a stop
        }
        const std::optional<Element> element = elementNamed(name);
        if (!element ||
            (*element != Element::Plist && *element != Element::Key && *element != Element::Array &&
             *element != Element::Dict && !collecting_) ||
            ((*element == Element::Array || *element == Element::Dict ||
              *element == Element::Key) &&
             open_.empty())) {
            return fail();
        }
        if (*element == Element::Plist) {
            return;  // expat has already matched it with its start
        }
        if (*element == Element::Array || *element == Element::Dict) {
            Open closed = std::move(open_.back());
            open_.pop_back();
            if (closed.hasKey) {
                return fail();  // a key without its value
            }
            Value value = closed.kind == Element::Array ? Value(std::move(closed.items))
                                                        : Value(std::move(closed.entries));
            return place(std::move(value));
        }
        collecting_.reset();
        if (*element == Element::Key) {
            open_.back().key = std::move(text_);
            open_.back().hasKey = true;
            return;
        }
        Value value;
        if (!leafValue(*element, value)) {
            if (!insideRootEntry()) {
                return fail();
            }
            // Only the entry it belongs to is lost; it is left out when it is placed.
            if (!entryProblem_) {
                entryProblem_ = "an unreadable <" + std::string(name) + ">";
            }
        }
        place(std::move(value));
    }

    void text(const char* data, int length) {
        if (failed_) {
            return;
        }
        const std::string_view piece(data, static_cast<std::size_t>(length));
        if (collecting_) {
            text_.append(piece);
        } else if (!trimmed(piece).empty()) {
            fail();  // text between elements belongs to no value
        }
    }

    void fail() {
        failed_ = true;
        XML_StopParser(parser_, XML_FALSE);
    }

    std::optional<Value> result() {
        if (failed_ || !finished_) {
            return std::nullopt;
        }
        return std::optional<Value>(std::move(root_));
    }

  private:
    struct Open {
        Element kind;
        Array items;
        Dictionary entries;
        std::string key;
        bool hasKey;
    };

    // Whether a value that cannot be read may cost only the root entry it lies in.
    bool insideRootEntry() const {
        return dropped_ != nullptr && !open_.empty() && open_.front().kind == Element::Dict &&
               (open_.size() > 1 || open_.front().hasKey);
    }

    // A value may go at the top (once), into a list, or into a dictionary after its key.
    bool placeable() const {
        if (open_.empty()) {
            return !finished_;
        }
        return open_.back().kind == Element::Array || open_.back().hasKey;
    }

    void place(Value value) {
        if (open_.empty()) {
            root_ = std::move(value);
            finished_ = true;
        } else if (open_.back().kind == Element::Array) {
            open_.back().items.push_back(std::move(value));
        } else {
            Open& dict = open_.back();
            if (open_.size() == 1 && entryProblem_) {
                // A repeated key whose last value cannot be read has no value to keep.
                dict.entries.erase(dict.key);
                dropped_->push_back(DroppedEntry{std::move(dict.key), *std::move(entryProblem_)});
                entryProblem_.reset();
            } else {
                // Keys come sorted from our own writer, so each one usually belongs at the end;
                // a repeated key keeps its last value.
                dict.entries.insert_or_assign(dict.entries.end(), std::move(dict.key),
                                              std::move(value));
            }
            dict.key.clear();
            dict.hasKey = false;
        }
    }

    bool leafValue(Element element, Value& out) const {
        switch (element) {
            case Element::String:
                out = Value(text_);
                return true;
            case Element::Integer:
                return integerValue(text_, out);
            case Element::Real:
                return realValue(text_, out);
            case Element::Date: {
                const std::optional<Date> date = dateFromText(trimmed(text_));
                if (date) {
                    out = Value(*date);
                }
                return date.has_value();
            }
            case Element::Data:
                return dataValue(text_, out);
            case Element::True:
            case Element::False:
                out = Value(element == Element::True);
                return trimmed(text_).empty();
            default:
                return false;
        }
    }

    XML_Parser parser_;
    std::size_t maximumDepth_;
    std::vector<DroppedEntry>* dropped_;
    std::optional<std::string> entryProblem_;  // of the root entry being read
    std::vector<Open> open_;
    std::optional<Element> collecting_;
    std::string text_;
    Value root_;
    bool sawPlist_ = false;
    bool finished_ = false;
    bool failed_ = false;
};

struct ParserFree {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

}  // namespace

std::optional<Value> readXmlPropertyList(std::string_view xml, std::size_t maximumDepth,
                                         std::vector<DroppedEntry>* dropped) {
    const std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree> parser(
        XML_ParserCreate(nullptr));
    if (!parser) {
        return std::nullopt;
    }
    Builder builder(parser.get(), maximumDepth, dropped);
    XML_SetUserData(parser.get(), &builder);
    XML_SetElementHandler(
        parser.get(),
        [](void* data, const XML_Char* name, const XML_Char**) {
            static_cast<Builder*>(data)->start(name);
        },
        [](void* data, const XML_Char* name) { static_cast<Builder*>(data)->end(name); });
    XML_SetCharacterDataHandler(parser.get(), [](void* data, const XML_Char* text, int length) {
        static_cast<Builder*>(data)->text(text, length);
    });
    // A property list declares no entities; refusing them rules out entity expansion bombs.
    XML_SetEntityDeclHandler(
        parser.get(),
        [](void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*, const XML_Char*,
           const XML_Char*, const XML_Char*) { static_cast<Builder*>(data)->fail(); });
    constexpr std::size_t kChunk = 1 << 20;
    do {
        const std::size_t length = std::min(xml.size(), kChunk);
        const bool last = length == xml.size();
        if (XML_Parse(parser.get(), xml.data(), static_cast<int>(length),
                      last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
            return std::nullopt;
        }
        xml.remove_prefix(length);
    } while (!xml.empty());
    return builder.result();
}

}  // namespace foundation::plist_detail
