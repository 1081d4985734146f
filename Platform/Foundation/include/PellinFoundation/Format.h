#pragma once

// The system's format strings ("%@ isExist=%@", "%hd", "%lu", ...) with their arguments checked
// against the conversions at compile time. Supported conversions:
//   %@   a value's description: Value, texts, anything with description(), std::optional of those
//   %d   int (narrowed to 32 bits)        %ld  long            %lu  unsigned long
//   %hd  short (narrowed to 16 bits)      %hhd signed char / Boolean (1 or 0)
//   %s   a C string or std::string        %%   a per cent sign
// A format that is only known at run time goes through stringWithRuntimeFormat, which never
// has undefined behaviour: a conversion without a fitting argument prints "%!<conversion>".

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include <PellinFoundation/Export.h>
#include <PellinFoundation/Value.h>

namespace foundation {

namespace format_detail {

enum class Conversion : std::uint8_t { Object, Int, Long, UnsignedLong, Short, Char, CString };

// One argument, type-erased, as the run-time formatter consumes it.
struct Argument {
    enum class Kind : std::uint8_t { Signed, Unsigned, Text, Null } kind = Kind::Null;
    std::int64_t signedValue = 0;
    std::uint64_t unsignedValue = 0;
    // A text argument's own characters, lent for as long as the call lasts; or, for a value
    // that describes itself, the description made when the argument was taken.
    std::string_view lent;
    std::string made;

    std::string_view text() const { return made.empty() ? lent : std::string_view(made); }
};

template <class T>
concept HasDescription = requires(const T& t) {
    { t.description() } -> std::convertible_to<std::string>;
};

template <class T>
concept TextLike = std::is_convertible_v<const T&, std::string_view>;

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class T>
constexpr bool describable() {
    using U = std::remove_cvref_t<T>;
    if constexpr (IsOptional<U>::value) {
        return describable<typename U::value_type>();
    } else {
        return TextLike<U> || HasDescription<U> || std::is_same_v<U, std::nullptr_t>;
    }
}

template <class T>
constexpr bool accepts(Conversion c) {
    using U = std::remove_cvref_t<T>;
    constexpr bool integral = std::is_integral_v<U> && !std::is_same_v<U, char>;
    switch (c) {
        case Conversion::Object:
            return describable<U>();
        case Conversion::Int:
            return integral && sizeof(U) <= sizeof(int);
        case Conversion::Long:
            return integral && (std::is_signed_v<U> || sizeof(U) < sizeof(long));
        case Conversion::UnsignedLong:
            return integral && sizeof(U) <= sizeof(unsigned long);
        case Conversion::Short:
            return integral && sizeof(U) <= sizeof(int);
        case Conversion::Char:
            return std::is_same_v<U, bool> || std::is_same_v<U, signed char> ||
                   std::is_same_v<U, std::int8_t>;
        case Conversion::CString:
            return std::is_same_v<U, const char*> || std::is_same_v<U, char*> ||
                   std::is_same_v<U, std::string> || std::is_array_v<U>;
    }
    return false;
}

// Calling a function that is not constexpr from a consteval context stops the compilation;
// the names say what went wrong.
void format_string_has_an_unknown_conversion();
void format_string_has_more_conversions_than_arguments();
void format_string_has_fewer_conversions_than_arguments();
void format_argument_does_not_fit_its_conversion();

// Parses the conversion at text[i] (just after '%'); returns its length, 0 for none of ours.
constexpr std::size_t parseConversion(std::string_view text, std::size_t i, Conversion& out,
                                      bool& isPercent) {
    isPercent = false;
    const std::string_view rest = text.substr(i);
    if (rest.empty()) {
        return 0;
    }
    switch (rest[0]) {
        case '%':
            isPercent = true;
            return 1;
        case '@':
            out = Conversion::Object;
            return 1;
        case 'd':
            out = Conversion::Int;
            return 1;
        case 's':
            out = Conversion::CString;
            return 1;
        case 'l':
            if (rest.starts_with("ld")) {
                out = Conversion::Long;
                return 2;
            }
            if (rest.starts_with("lu")) {
                out = Conversion::UnsignedLong;
                return 2;
            }
            return 0;
        case 'h':
            if (rest.starts_with("hhd")) {
                out = Conversion::Char;
                return 3;
            }
            if (rest.starts_with("hd")) {
                out = Conversion::Short;
                return 2;
            }
            return 0;
        default:
            return 0;
    }
}

template <class... Args>
consteval void check(std::string_view text) {
    constexpr std::size_t count = sizeof...(Args);
    constexpr bool (*fits[count + 1])(Conversion) = {&accepts<Args>..., nullptr};
    std::size_t argument = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            continue;
        }
        Conversion conversion{};
        bool isPercent = false;
        const std::size_t length = parseConversion(text, i + 1, conversion, isPercent);
        if (length == 0) {
            format_string_has_an_unknown_conversion();
        }
        i += length;
        if (isPercent) {
            continue;
        }
        if (argument >= count) {
            format_string_has_more_conversions_than_arguments();
        } else if (!fits[argument](conversion)) {
            format_argument_does_not_fit_its_conversion();
        }
        ++argument;
    }
    if (argument != count) {
        format_string_has_fewer_conversions_than_arguments();
    }
}

template <class T>
std::string describe(const T& value) {
    using U = std::remove_cvref_t<T>;
    if constexpr (IsOptional<U>::value) {
        return value ? describe(*value) : std::string("(null)");
    } else if constexpr (std::is_same_v<U, std::nullptr_t>) {
        return "(null)";
    } else if constexpr (std::is_pointer_v<U> && TextLike<U>) {
        return value ? std::string(value) : std::string("(null)");
    } else if constexpr (TextLike<U>) {
        return std::string(std::string_view(value));
    } else {
        return std::string(value.description());
    }
}

// Texts are lent, not copied: the argument lives as long as the call that takes it.
template <class T>
Argument erase(const T& value) {
    using U = std::remove_cvref_t<T>;
    Argument a;
    if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
        a.kind = Argument::Kind::Signed;
        a.signedValue = value;
    } else if constexpr (std::is_integral_v<U>) {
        a.kind = Argument::Kind::Unsigned;
        a.unsignedValue = value;
    } else if constexpr (std::is_pointer_v<U> && TextLike<U>) {
        if (value != nullptr) {
            a.kind = Argument::Kind::Text;
            a.lent = value;
        }
    } else if constexpr (TextLike<U>) {
        a.kind = Argument::Kind::Text;
        a.lent = std::string_view(value);
    } else if constexpr (describable<U>()) {
        a.kind = Argument::Kind::Text;
        a.made = describe(value);
    }
    return a;
}

PELLIN_EXPORT std::string formatArguments(std::string_view format, std::span<const Argument> args);

// The arguments as bytes that hold everything the text needs, so that it can be made later, on
// another thread, after the arguments themselves are gone: integers by value, texts and
// descriptions as copies of their characters.
PELLIN_EXPORT std::size_t capturedSize(std::span<const Argument> args);
// Writes the capturedSize(args) bytes to `out`.
PELLIN_EXPORT void capture(std::span<const Argument> args, char* out);
// Appends to `out` the text of `format` with the arguments `captured` holds.
PELLIN_EXPORT void appendFormattedCaptured(std::string& out, std::string_view format,
                                           std::string_view captured);

}  // namespace format_detail

// A format string whose conversions have been checked against Args at compile time.
template <class... Args>
struct FormatString {
    template <class S>
    requires std::convertible_to<const S&, std::string_view>
    consteval FormatString(const S& s) : text(s) { format_detail::check<Args...>(text); }
    std::string_view text;
};

// stringWithFormat("%@ isExist=%@", name, "YES"): the format is checked while compiling.
template <class... Args>
std::string stringWithFormat(FormatString<std::type_identity_t<Args>...> format,
                             const Args&... args) {
    const format_detail::Argument erased[] = {format_detail::erase(args)..., {}};
    return format_detail::formatArguments(format.text, std::span(erased, sizeof...(Args)));
}

// For formats known only at run time (a localised template): conversions are checked as the
// text is read, and one without a fitting argument prints as "%!" and its spelling.
template <class... Args>
std::string stringWithRuntimeFormat(std::string_view format, const Args&... args) {
    const format_detail::Argument erased[] = {format_detail::erase(args)..., {}};
    return format_detail::formatArguments(format, std::span(erased, sizeof...(Args)));
}

}  // namespace foundation
