#include <PellinFoundation/Value.h>

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <ctime>

namespace foundation {
namespace {

constexpr std::string_view kIndentUnit = "    ";

std::string realText(double d) {
    if (std::isnan(d)) {
        return "nan";
    }
    if (std::isinf(d)) {
        return d > 0 ? "inf" : "-inf";
    }
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), d);
    return std::string(buffer.data(), result.ptr);
}

std::string dateText(const Date& date) {
    const double floored = std::floor(date.timeIntervalSince1970);
    // Outside what time_t and gmtime can hold the date still gets a description of its own.
    if (!(floored > -6.7e16 && floored < 6.7e16)) {
        return realText(date.timeIntervalSince1970);
    }
    const auto seconds = static_cast<std::time_t>(floored);
    std::tm parts{};
    if (gmtime_r(&seconds, &parts) == nullptr) {
        return realText(date.timeIntervalSince1970);
    }
    std::array<char, 64> buffer{};
    const std::size_t n =
        std::strftime(buffer.data(), buffer.size(), "%Y-%m-%d %H:%M:%S +0000", &parts);
    return std::string(buffer.data(), n);
}

void appendHex(std::string& out, const Data& bytes, std::size_t from, std::size_t to) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::size_t i = from; i < to; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 0x0f];
    }
}

std::string dataText(const Data& bytes) {
    std::string out = "{length = " + std::to_string(bytes.size()) + ", bytes = 0x";
    // Long data is shortened to its first 8 and last 4 bytes, as Foundation does.
    if (bytes.size() > 24) {
        appendHex(out, bytes, 0, 8);
        out += " ... ";
        appendHex(out, bytes, bytes.size() - 4, bytes.size());
    } else {
        appendHex(out, bytes, 0, bytes.size());
    }
    out += '}';
    return out;
}

bool needsQuotes(std::string_view text) {
    if (text.empty()) {
        return true;
    }
    for (const char signedChar : text) {
        const auto c = static_cast<unsigned char>(signedChar);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '_' || c == '.' || c == '/' || c == '$' ||
                           c >= 0x80;
        if (!plain) {
            return true;
        }
    }
    return false;
}

std::string quoted(std::string_view text) {
    if (!needsQuotes(text)) {
        return std::string(text);
    }
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string describeNested(const Value& value, std::size_t depth);

std::string indent(std::size_t depth) {
    std::string out;
    for (std::size_t i = 0; i < depth; ++i) {
        out += kIndentUnit;
    }
    return out;
}

// Inside a list or dictionary, texts and dates are quoted where Foundation would quote them.
std::string elementText(const Value& value, std::size_t depth) {
    if (value.text()) {
        return quoted(*value.text());
    }
    if (value.date()) {
        return quoted(dateText(*value.date()));
    }
    return describeNested(value, depth);
}

std::string describeNested(const Value& value, std::size_t depth) {
    switch (value.kind()) {
        case Value::Kind::None:
            return "(null)";
        case Value::Kind::Boolean:
            return *value.boolean() ? "1" : "0";
        case Value::Kind::Integer:
            return value.integer() ? std::to_string(*value.integer())
                                   : std::to_string(*value.unsignedInteger());
        case Value::Kind::Real:
            return realText(*value.real());
        case Value::Kind::Text:
            return *value.text();
        case Value::Kind::Date:
            return dateText(*value.date());
        case Value::Kind::Data:
            return dataText(*value.data());
        case Value::Kind::Array: {
            const Array& items = *value.array();
            if (items.empty()) {
                return "(\n" + indent(depth) + ")";
            }
            std::string out = "(\n";
            for (std::size_t i = 0; i < items.size(); ++i) {
                out += indent(depth + 1) + elementText(items[i], depth + 1);
                out += i + 1 < items.size() ? ",\n" : "\n";
            }
            return out + indent(depth) + ")";
        }
        case Value::Kind::Dictionary: {
            std::string out = "{\n";
            for (const auto& [key, item] : *value.dictionary()) {
                out +=
                    indent(depth + 1) + quoted(key) + " = " + elementText(item, depth + 1) + ";\n";
            }
            return out + indent(depth) + "}";
        }
    }
    return {};
}

}  // namespace

Date Date::now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    return Date{std::chrono::duration<double>(since).count()};
}

std::string Value::description() const {
    return describeNested(*this, 0);
}

bool operator==(const Value& a, const Value& b) {
    return a.storage_ == b.storage_;
}

std::string_view kindName(Value::Kind kind) {
    static constexpr std::string_view kNames[] = {"none", "boolean", "integer", "real",      "text",
                                                  "date", "data",    "array",   "dictionary"};
    return kNames[static_cast<std::size_t>(kind)];
}

}  // namespace foundation
