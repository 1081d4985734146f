#include "SettingsValueConversions.h"

#include <array>
#include <charconv>
#include <string_view>

namespace foundation::settings_detail {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool equalsIgnoringCase(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c =
            text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != word[i]) {
            return false;
        }
    }
    return true;
}

// "1", "-2.5", "+0.5e3", ".5": a decimal number, nothing else ("inf", "nan", "0x1" are not).
bool isNonZeroNumberText(std::string_view text) {
    if (text.starts_with('+') || text.starts_with('-')) {
        text.remove_prefix(1);
    }
    if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) {
        return false;
    }
    double number = 0.0;
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), number, std::chars_format::general);
    // Out of range still names a number, and not zero.
    if (result.ptr != text.data() + text.size()) {
        return false;
    }
    return result.ec == std::errc::result_out_of_range ||
           (result.ec == std::errc() && number != 0.0);
}

bool textReadsAsTrue(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return equalsIgnoringCase(text, "yes") || equalsIgnoringCase(text, "true") ||
           isNonZeroNumberText(text);
}

std::string realText(double d) {
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), d);
    return std::string(buffer.data(), result.ptr);
}

}  // namespace

bool boolFromValue(const Value& value) {
    if (const bool* b = value.boolean()) {
        return *b;
    }
    if (const std::int64_t* i = value.integer()) {
        return *i != 0;
    }
    if (value.unsignedInteger()) {
        return true;  // above INT64_MAX, so never zero
    }
    if (const double* d = value.real()) {
        return *d != 0.0;  // NaN included: it is not zero
    }
    if (const std::string* text = value.text()) {
        return textReadsAsTrue(*text);
    }
    return false;
}

std::optional<std::string> stringFromValue(const Value& value) {
    if (const std::string* text = value.text()) {
        return *text;
    }
    if (const std::int64_t* i = value.integer()) {
        return std::to_string(*i);
    }
    if (const std::uint64_t* u = value.unsignedInteger()) {
        return std::to_string(*u);
    }
    if (const double* d = value.real()) {
        return realText(*d);
    }
    if (const bool* b = value.boolean()) {
        return std::string(*b ? "1" : "0");
    }
    return std::nullopt;
}

}  // namespace foundation::settings_detail
