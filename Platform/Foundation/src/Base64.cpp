#include <PellinFoundation/Base64.h>

#include <array>

namespace foundation {

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kPad = '=';
constexpr std::uint8_t kNotInAlphabet = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kNotInAlphabet);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    }
    return table;
}
constexpr std::array<std::uint8_t, 256> kDecodeTable = makeDecodeTable();

std::string encodeOneLine(std::span<const std::uint8_t> data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t group =
            (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        out += kAlphabet[(group >> 18) & 0x3F];
        out += kAlphabet[(group >> 12) & 0x3F];
        out += kAlphabet[(group >> 6) & 0x3F];
        out += kAlphabet[group & 0x3F];
    }
    const std::size_t rest = data.size() - i;
    if (rest > 0) {
        const std::uint32_t group =
            (std::uint32_t{data[i]} << 16) | (rest == 2 ? std::uint32_t{data[i + 1]} << 8 : 0u);
        out += kAlphabet[(group >> 18) & 0x3F];
        out += kAlphabet[(group >> 12) & 0x3F];
        out += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : kPad;
        out += kPad;
    }
    return out;
}

std::string_view lineEnd(Base64EncodingOptions options) {
    const bool cr = (options & Base64EncodingEndLineWithCarriageReturn) != 0;
    const bool lf = (options & Base64EncodingEndLineWithLineFeed) != 0;
    if (cr == lf) {
        return "\r\n";
    }
    return cr ? "\r" : "\n";
}

std::size_t lineLength(Base64EncodingOptions options) {
    if ((options & Base64Encoding64CharacterLineLength) != 0) {
        return 64;
    }
    if ((options & Base64Encoding76CharacterLineLength) != 0) {
        return 76;
    }
    return 0;
}

}  // namespace

std::string base64EncodedString(std::span<const std::uint8_t> data, Base64EncodingOptions options) {
    std::string oneLine = encodeOneLine(data);
    const std::size_t length = lineLength(options);
    if (length == 0 || oneLine.size() <= length) {
        return oneLine;
    }
    const std::string_view end = lineEnd(options);
    std::string out;
    out.reserve(oneLine.size() + (oneLine.size() / length) * end.size());
    for (std::size_t start = 0; start < oneLine.size(); start += length) {
        if (start > 0) {
            out += end;
        }
        out.append(oneLine, start, length);
    }
    return out;
}

std::optional<Data> base64DecodedData(std::string_view text, Base64DecodingOptions options) {
    const bool skipUnknown = (options & Base64DecodingIgnoreUnknownCharacters) != 0;
    Data out;
    out.reserve(text.size() / 4 * 3);
    std::uint32_t group = 0;
    std::size_t symbols = 0;  // alphabet characters seen
    std::size_t pads = 0;     // "=" seen; nothing of the alphabet may follow one
    for (const char c : text) {
        const std::uint8_t value = kDecodeTable[static_cast<unsigned char>(c)];
        if (value == kNotInAlphabet) {
            if (c == kPad) {
                ++pads;
            } else if (!skipUnknown) {
                return std::nullopt;
            }
            continue;
        }
        if (pads > 0) {
            return std::nullopt;
        }
        group = (group << 6) | value;
        if (++symbols % 4 == 0) {
            out.push_back(static_cast<std::uint8_t>(group >> 16));
            out.push_back(static_cast<std::uint8_t>(group >> 8));
            out.push_back(static_cast<std::uint8_t>(group));
            group = 0;
        }
    }
    // A last group of two symbols carries one byte and needs "==", one of three carries two
    // bytes and needs "="; a single symbol carries no whole byte.
    switch (symbols % 4) {
        case 0:
            if (pads != 0) {
                return std::nullopt;
            }
            break;
        case 2:
            if (pads != 2) {
                return std::nullopt;
            }
            out.push_back(static_cast<std::uint8_t>(group >> 4));
            break;
        case 3:
            if (pads != 1) {
                return std::nullopt;
            }
            out.push_back(static_cast<std::uint8_t>(group >> 10));
            out.push_back(static_cast<std::uint8_t>(group >> 2));
            break;
        default:
            return std::nullopt;
    }
    return out;
}

}  // namespace foundation
