#include <PellinFoundation/Format.h>

#include <cstdint>
#include <string>

namespace foundation::format_detail {
namespace {

// Integers are reduced to the conversion's width the way the C library would after the
// default promotions, but without reading an argument of the wrong size.
std::string integerText(Conversion conversion, const Argument& a) {
    const bool isSigned = a.kind == Argument::Kind::Signed;
    const std::uint64_t bits =
        isSigned ? static_cast<std::uint64_t>(a.signedValue) : a.unsignedValue;
    switch (conversion) {
        case Conversion::Char:
            return std::to_string(static_cast<std::int8_t>(static_cast<std::uint8_t>(bits)));
        case Conversion::Short:
            return std::to_string(static_cast<std::int16_t>(static_cast<std::uint16_t>(bits)));
        case Conversion::Int:
            return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(bits)));
        case Conversion::Long:
            return std::to_string(static_cast<std::int64_t>(bits));
        case Conversion::UnsignedLong:
            return std::to_string(bits);
        default:
            return {};
    }
}

bool fits(Conversion conversion, const Argument& a) {
    switch (conversion) {
        case Conversion::Object:
        case Conversion::CString:
            return a.kind == Argument::Kind::Text || a.kind == Argument::Kind::Null;
        default:
            return a.kind == Argument::Kind::Signed || a.kind == Argument::Kind::Unsigned;
    }
}

}  // namespace

std::string formatArguments(std::string_view format, std::span<const Argument> args) {
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        Conversion conversion{};
        bool isPercent = false;
        const std::size_t length = parseConversion(format, i + 1, conversion, isPercent);
        if (length == 0) {
            out += '%';  // not a conversion of ours: kept as written
            continue;
        }
        const std::string_view spelling = format.substr(i, length + 1);
        i += length;
        if (isPercent) {
            out += '%';
            continue;
        }
        if (next >= args.size() || !fits(conversion, args[next])) {
            out += "%!";
            out += spelling.substr(1);
            ++next;
            continue;
        }
        const Argument& a = args[next++];
        if (conversion == Conversion::Object || conversion == Conversion::CString) {
            out += a.kind == Argument::Kind::Null ? std::string_view("(null)")
                                                  : std::string_view(a.text);
        } else {
            out += integerText(conversion, a);
        }
    }
    return out;
}

}  // namespace foundation::format_detail
