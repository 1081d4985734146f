#include "CryptUtil.h"

#include <PellinCommonCrypto/CommonCryptor.h>
#include <PellinCommonCrypto/CommonDigest.h>
#include <PellinFoundation/Base64.h>
#include <PellinLog/PellinLogCall.h>

#include <unicode/utf8.h>

#include <algorithm>
#include <new>

namespace {

// Other programs of the product derive the same key from the same text; changing it would make
// every stored credential unreadable.
constexpr std::string_view kKeyPassPhrase = "Qm4TzR8vLw2NcX6pHb9JkD3sYf7GaE";

// Well-formed UTF-8 in the sense of the Unicode standard (no overlong forms, no surrogates,
// nothing beyond U+10FFFF), checked with ICU's decoding macro one code point at a time.
bool isWellFormedUtf8(std::span<const std::uint8_t> bytes) {
    const std::uint8_t* position = bytes.data();
    const std::uint8_t* const end = position + bytes.size();
    while (position < end) {
        const auto available =
            static_cast<std::int32_t>(std::min<std::ptrdiff_t>(end - position, 4));
        std::int32_t length = 0;
        UChar32 codePoint = 0;
        U8_NEXT(position, length, available, codePoint);
        if (codePoint < 0) {
            return false;
        }
        position += length;
    }
    return true;
}

}  // namespace

std::optional<std::string> CryptUtil::AES128EncryptWithKey(std::string_view plainText) {
    PELLIN_METHOD("+[CryptUtil AES128EncryptWithKey:]");
    DDLogDebug("Start %@", pellinMethod.selector());
    const std::span<const std::uint8_t> bytes(
        reinterpret_cast<const std::uint8_t*>(plainText.data()), plainText.size());
    std::optional<std::string> result;
    if (const auto cipher = AES128crypteCommon(kEncrypt, bytes)) {
        result = foundation::base64EncodedString(*cipher,
                                                 foundation::Base64Encoding64CharacterLineLength);
    }
    DDLogDebug("End %@", pellinMethod.selector());
    return result;
}

std::optional<std::string> CryptUtil::AES128DecryptWithKey(std::string_view base64Text) {
    PELLIN_METHOD("+[CryptUtil AES128DecryptWithKey:]");
    DDLogDebug("Start %@", pellinMethod.selector());
    // Text that does not decode is deciphered as no bytes, which the cipher refuses.
    const foundation::Data cipher =
        foundation::base64DecodedData(base64Text, foundation::Base64DecodingIgnoreUnknownCharacters)
            .value_or(foundation::Data{});
    std::optional<std::string> result;
    if (const auto plain = AES128crypteCommon(kDecrypt, cipher);
        plain && isWellFormedUtf8(*plain)) {
        result.emplace(plain->begin(), plain->end());
    }
    DDLogDebug("End %@", pellinMethod.selector());
    return result;
}

std::optional<foundation::Data> CryptUtil::AES128crypteCommon(std::uint32_t operation,
                                                              std::span<const std::uint8_t> data) {
    PELLIN_METHOD("+[CryptUtil AES128crypteCommon:targetData:]");
    DDLogDebug("Start %@", pellinMethod.selector());
    std::optional<foundation::Data> result;
    // Room for the largest padding; deciphering only ever needs less.
    foundation::Data buffer;
    try {
        buffer.resize(data.size() + commoncrypto::kCCBlockSizeAES128);
    } catch (const std::bad_alloc&) {
        DDLogDebug("End %@", pellinMethod.selector());
        return result;
    }
    const foundation::Data key = MD5Hash(kKeyPassPhrase);
    std::size_t written = 0;
    const commoncrypto::CCCryptorStatus status =
        commoncrypto::CCCrypt(operation, commoncrypto::kCCAlgorithmAES128,
                              commoncrypto::kCCOptionPKCS7Padding | commoncrypto::kCCOptionECBMode,
                              key.data(), commoncrypto::kCCKeySizeAES128, nullptr, data.data(),
                              data.size(), buffer.data(), buffer.size(), &written);
    if (status == commoncrypto::kCCSuccess) {
        buffer.resize(written);
        result = std::move(buffer);
    }
    DDLogDebug("End %@", pellinMethod.selector());
    return result;
}

foundation::Data CryptUtil::MD5Hash(std::string_view text) {
    PELLIN_METHOD("+[CryptUtil MD5Hash:]");
    DDLogDebug("Start %@", pellinMethod.selector());
    const std::string_view digested = text.substr(0, text.find('\0'));
    foundation::Data digest(commoncrypto::CC_MD5_DIGEST_LENGTH);
    commoncrypto::CC_MD5(digested.data(), static_cast<commoncrypto::CC_LONG>(digested.size()),
                         digest.data());
    DDLogDebug("End %@", pellinMethod.selector());
    return digest;
}
