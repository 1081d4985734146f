#pragma once

// The cipher of the settings store's enciphered credentials. Other Pellin programs read and
// write the same stored form, so every parameter is fixed: AES-128 in ECB mode with PKCS#7
// padding, the key being the MD5 digest of the store's pass phrase (derived at every call),
// plain text as UTF-8, cipher text as Base64 in lines of 64 characters joined by CR LF.
// All operations are class-level and keep no state.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <PellinFoundation/Value.h>

class CryptUtil {
  public:
    CryptUtil() = delete;

    // Values of AES128crypteCommon's `operation`.
    static constexpr std::uint32_t kEncrypt = 0;
    static constexpr std::uint32_t kDecrypt = 1;

    // The stored form of `plainText` (an empty text enciphers to one whole padding block);
    // nothing when the cipher fails.
    static std::optional<std::string> AES128EncryptWithKey(std::string_view plainText);

    // The plain text of a stored form, whose line ends, blanks and other characters outside
    // the Base64 alphabet are skipped. Nothing when the text does not decode to cipher text
    // that deciphers with the store's key, or the plain bytes are not well-formed UTF-8.
    static std::optional<std::string> AES128DecryptWithKey(std::string_view base64Text);

    // Enciphers (kEncrypt) or deciphers (kDecrypt) `data` with the store's key; nothing when
    // the cipher fails: an unknown operation, cipher text that is empty or not whole blocks,
    // or padding that does not check out (a wrong key or damaged data).
    static std::optional<foundation::Data> AES128crypteCommon(std::uint32_t operation,
                                                              std::span<const std::uint8_t> data);

    // The 16 raw bytes of the MD5 digest of `text`'s UTF-8 bytes up to its first NUL.
    static foundation::Data MD5Hash(std::string_view text);
};
