#include <PellinFoundation/Format.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
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

// Appends the text of `format` to `out`, taking the arguments in turn from `next`, which gives
// a pointer to the next one, or null when there are no more.
template <class NextArgument>
void appendFormatted(std::string& out, std::string_view format, NextArgument next) {
    for (std::size_t i = 0; i < format.size(); ++i) {
        // The text up to the next conversion, in one piece.
        const std::size_t percent = std::min(format.find('%', i), format.size());
        out.append(format.substr(i, percent - i));
        i = percent;
        if (i == format.size()) {
            break;
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
        const Argument* a = next();
        if (a == nullptr || !fits(conversion, *a)) {
            out += "%!";
            out += spelling.substr(1);
            continue;
        }
        if (conversion == Conversion::Object || conversion == Conversion::CString) {
            out += a->kind == Argument::Kind::Null ? std::string_view("(null)") : a->text();
        } else {
            out += integerText(conversion, *a);
        }
    }
}

// The captured form of one argument: its kind in one byte, then an integer's 8 bytes, or a
// text's length in 8 bytes and its characters.
constexpr std::size_t kKindSize = 1;
constexpr std::size_t kWordSize = sizeof(std::uint64_t);

std::uint64_t readWord(const char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, kWordSize);
    return word;
}

char* writeWord(char* out, std::uint64_t word) {
    std::memcpy(out, &word, kWordSize);
    return out + kWordSize;
}

}  // namespace

std::string formatArguments(std::string_view format, std::span<const Argument> args) {
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    std::size_t next = 0;
    appendFormatted(out, format, [&]() { return next < args.size() ? &args[next++] : nullptr; });
    return out;
}

std::size_t capturedSize(std::span<const Argument> args) {
    std::size_t size = 0;
    for (const Argument& a : args) {
        size += kKindSize;
        if (a.kind == Argument::Kind::Text) {
            size += kWordSize + a.text().size();
        } else if (a.kind != Argument::Kind::Null) {
            size += kWordSize;
        }
    }
    return size;
}

void capture(std::span<const Argument> args, char* out) {
    for (const Argument& a : args) {
        *out++ = static_cast<char>(a.kind);
        switch (a.kind) {
            case Argument::Kind::Signed:
                out = writeWord(out, static_cast<std::uint64_t>(a.signedValue));
                break;
            case Argument::Kind::Unsigned:
                out = writeWord(out, a.unsignedValue);
                break;
            case Argument::Kind::Text: {
                const std::string_view text = a.text();
                out = writeWord(out, text.size());
                if (!text.empty()) {  // an empty text may have no characters to point to
                    std::memcpy(out, text.data(), text.size());
                    out += text.size();
                }
                break;
            }
            case Argument::Kind::Null:
                break;
        }
    }
}

void appendFormattedCaptured(std::string& out, std::string_view format, std::string_view captured) {
    Argument current;
    std::size_t at = 0;
    appendFormatted(out, format, [&]() -> const Argument* {
        if (at >= captured.size()) {
            return nullptr;
        }
        current.kind = static_cast<Argument::Kind>(captured[at]);
        at += kKindSize;
        switch (current.kind) {
            case Argument::Kind::Signed:
                current.signedValue = static_cast<std::int64_t>(readWord(&captured[at]));
                at += kWordSize;
                break;
            case Argument::Kind::Unsigned:
                current.unsignedValue = readWord(&captured[at]);
                at += kWordSize;
                break;
            case Argument::Kind::Text: {
                const auto size = static_cast<std::size_t>(readWord(&captured[at]));
                current.lent = captured.substr(at + kWordSize, size);
                at += kWordSize + size;
                break;
            }
            case Argument::Kind::Null:
                break;
        }
        return &current;
    });
}

}  // namespace foundation::format_detail
