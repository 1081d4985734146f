#include "XmlPropertyListWriter.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include <PellinFoundation/PropertyList.h>

#include "PropertyListDate.h"
#include "XmlCharacters.h"

namespace foundation::plist_detail {
namespace {

constexpr std::string_view kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
constexpr std::string_view kFooter = "</plist>\n";

class Writer {
  public:
    explicit Writer(std::size_t maximumDepth) : maximumDepth_(maximumDepth) {}

    bool write(const Value& value, std::size_t depth) {
        switch (value.kind()) {
            case Value::Kind::None:
                return false;
            case Value::Kind::Boolean:
                line(depth, *value.boolean() ? "<true/>" : "<false/>");
                return true;
            case Value::Kind::Integer:
                return element(depth, "integer",
                               value.integer() ? std::to_string(*value.integer())
                                               : std::to_string(*value.unsignedInteger()));
            case Value::Kind::Real:
                return element(depth, "real", realText(*value.real()));
            case Value::Kind::Text:
                return textElement(depth, "string", *value.text());
            case Value::Kind::Date: {
                const std::optional<std::string> text = dateText(*value.date());
                return text && element(depth, "date", *text);
            }
            case Value::Kind::Data:
                return element(depth, "data", base64(*value.data()));
            case Value::Kind::Array:
                return writeArray(*value.array(), depth);
            case Value::Kind::Dictionary:
                return writeDictionary(*value.dictionary(), depth);
        }
        return false;
    }

    std::string take() { return std::move(out_); }
    void append(std::string_view text) { out_ += text; }

  private:
    // Kept as libplist writes them, so that its reader takes them back: "nan", "+infinity".
    static std::string realText(double d) {
        if (std::isnan(d)) {
            return "nan";
        }
        if (std::isinf(d)) {
            return d > 0 ? "+infinity" : "-infinity";
        }
        std::array<char, 64> buffer{};
        const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), d);
        return std::string(buffer.data(), result.ptr);
    }

    static std::string base64(const Data& bytes) {
        static constexpr char kAlphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        out.reserve((bytes.size() + 2) / 3 * 4);
        for (std::size_t i = 0; i < bytes.size(); i += 3) {
            const std::size_t left = bytes.size() - i;
            const std::uint32_t group = (std::uint32_t{bytes[i]} << 16) |
                                        (left > 1 ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                                        (left > 2 ? std::uint32_t{bytes[i + 2]} : 0);
            out += kAlphabet[(group >> 18) & 0x3f];
            out += kAlphabet[(group >> 12) & 0x3f];
            out += left > 1 ? kAlphabet[(group >> 6) & 0x3f] : '=';
            out += left > 2 ? kAlphabet[group & 0x3f] : '=';
        }
        return out;
    }

    void indent(std::size_t depth) { out_.append(depth, '\t'); }

    void line(std::size_t depth, std::string_view text) {
        indent(depth);
        out_ += text;
        out_ += '\n';
    }

    bool element(std::size_t depth, std::string_view tag, std::string_view text) {
        indent(depth);
        out_ += '<';
        out_ += tag;
        out_ += '>';
        out_ += text;
        out_ += "</";
        out_ += tag;
        out_ += ">\n";
        return true;
    }

    // A text XML cannot carry (a NUL or another control character, broken UTF-8) is refused
    // rather than written into a file that no reader would take back.
    bool textElement(std::size_t depth, std::string_view tag, std::string_view text) {
        if (!isXmlText(text)) {
            return false;
        }
        indent(depth);
        out_ += '<';
        out_ += tag;
        out_ += '>';
        // Plain runs go in whole; only four characters need a reference.
        std::size_t plain = 0;
        for (std::size_t at = 0; at < text.size(); ++at) {
            if (const std::string_view reference = referenceFor(text[at]); !reference.empty()) {
                out_.append(text.substr(plain, at - plain));
                out_ += reference;
                plain = at + 1;
            }
        }
        out_.append(text.substr(plain));
        out_ += "</";
        out_ += tag;
        out_ += ">\n";
        return true;
    }

    static std::string_view referenceFor(char c) {
        switch (c) {
            case '&':
                return "&amp;";
            case '<':
                return "&lt;";
            case '>':
                return "&gt;";  // so that "]]>" never appears
            case '\r':
                return "&#13;";  // a reader turns a plain CR (and CR LF) into LF
            default:
                return {};
        }
    }

    bool writeArray(const Array& items, std::size_t depth) {
        if (depth >= maximumDepth_) {
            return false;
        }
        const std::size_t start = out_.size();
        line(depth, "<array>");
        bool any = false;
        for (const Value& item : items) {
            if (item.isNone()) {
                continue;
            }
            if (!write(item, depth + 1)) {
                return false;
            }
            any = true;
        }
        if (!any) {
            out_.resize(start);
            line(depth, "<array/>");
            return true;
        }
        line(depth, "</array>");
        return true;
    }

    bool writeDictionary(const Dictionary& entries, std::size_t depth) {
        if (depth >= maximumDepth_) {
            return false;
        }
        const std::size_t start = out_.size();
        line(depth, "<dict>");
        bool any = false;
        for (const auto& [key, item] : entries) {
            if (item.isNone()) {
                continue;
            }
            if (!writeEntry(key, item, depth + 1)) {
                return false;
            }
            any = true;
        }
        if (!any) {
            out_.resize(start);
            line(depth, "<dict/>");
            return true;
        }
        line(depth, "</dict>");
        return true;
    }

  public:
    bool writeEntry(std::string_view key, const Value& item, std::size_t depth) {
        return textElement(depth, "key", key) && write(item, depth);
    }

    const std::string& written() const { return out_; }

  private:
    std::size_t maximumDepth_;
    std::string out_;
};

}  // namespace

std::optional<std::string> xmlPropertyList(const Value& value, std::size_t maximumDepth) {
    Writer writer(maximumDepth);
    writer.append(kHeader);
    if (!writer.write(value, 0)) {
        return std::nullopt;
    }
    writer.append(kFooter);
    return writer.take();
}

std::optional<std::string> xmlDomainEntry(std::string_view key, const Value& value) {
    Writer writer(PropertyListSerialization::kMaximumDepth);
    if (value.isNone() || !writer.writeEntry(key, value, 1)) {
        return std::nullopt;
    }
    return writer.take();
}

std::optional<std::string> xmlDomainFile(const Dictionary& values,
                                         std::vector<std::size_t>& entryBounds) {
    entryBounds.clear();
    Writer writer(PropertyListSerialization::kMaximumDepth);
    writer.append(kHeader);
    writer.append(values.empty() ? "<dict/>\n" : "<dict>\n");
    for (const auto& [key, item] : values) {
        entryBounds.push_back(writer.written().size());
        if (item.isNone() || !writer.writeEntry(key, item, 1)) {
            entryBounds.clear();
            return std::nullopt;
        }
    }
    if (!values.empty()) {
        entryBounds.push_back(writer.written().size());
        writer.append("</dict>\n");
    }
    writer.append(kFooter);
    return writer.take();
}

}  // namespace foundation::plist_detail
