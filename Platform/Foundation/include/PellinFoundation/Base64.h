#pragma once

// Base64 (RFC 4648, standard alphabet, "=" padding) in the manner of NSData: the encoder can
// break its output into lines, and the decoder can skip every character outside the alphabet,
// so that text which went through mail, a terminal or a hand edit still decodes.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <PellinFoundation/Export.h>
#include <PellinFoundation/Value.h>

namespace foundation {

// Encoder options; the values are NSData's, so they combine the same way.
using Base64EncodingOptions = unsigned;
inline constexpr Base64EncodingOptions Base64Encoding64CharacterLineLength = 1u << 0;
inline constexpr Base64EncodingOptions Base64Encoding76CharacterLineLength = 1u << 1;
inline constexpr Base64EncodingOptions Base64EncodingEndLineWithCarriageReturn = 1u << 4;
inline constexpr Base64EncodingOptions Base64EncodingEndLineWithLineFeed = 1u << 5;

using Base64DecodingOptions = unsigned;
inline constexpr Base64DecodingOptions Base64DecodingIgnoreUnknownCharacters = 1u << 0;

// Without a line-length option the text is one line. With one (64 wins over 76), lines of that
// many characters are separated by the chosen line end: CR, LF, or CR LF when both or neither
// is chosen. The line end separates lines; none follows the last line, even a full one.
PELLIN_EXPORT std::string base64EncodedString(std::span<const std::uint8_t> data,
                                              Base64EncodingOptions options = 0);

// The bytes that `text` encodes, or nothing when it is not Base64. Without
// Base64DecodingIgnoreUnknownCharacters every character must be of the alphabet or "=";
// with it every other character (line ends, blanks, anything) is skipped first. What remains
// must be whole groups of four with at most two "=" at the very end: a lone leftover
// character, missing or misplaced padding make the text undecodable. The unused low bits of a
// padded group are not checked. Empty text is empty data.
PELLIN_EXPORT std::optional<Data> base64DecodedData(std::string_view text,
                                                    Base64DecodingOptions options = 0);

}  // namespace foundation
