#include <PellinCommonCrypto/CommonCryptor.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace commoncrypto;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fromHex(std::string_view hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

// NIST SP 800-38A, F.1.1 and F.2.1 (AES-128, first block).
const Bytes kNistKey = fromHex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kNistPlain = fromHex("6bc1bee22e409f96e93d7e117393172a");
const Bytes kNistEcb = fromHex("3ad77bb40d7a3660a89ecaf32466ef97");
const Bytes kNistCbc = fromHex("7649abac8119b246cee98e9b12e9197d");
const Bytes kNistIv = fromHex("000102030405060708090a0b0c0d0e0f");
// The cipher block of a whole padding block (sixteen 0x10 bytes) under kNistKey, from
// `openssl enc -aes-128-ecb`.
const Bytes kNistPaddingBlock = fromHex("a254be88e037ddd9d79fb6411c3f9df8");

struct Outcome {
    CCCryptorStatus status;
    Bytes bytes;
    std::size_t moved;
};

Outcome crypt(CCOperation op, CCOptions options, const Bytes& key, const Bytes& in,
              std::optional<std::size_t> room = std::nullopt, const void* iv = nullptr) {
    Bytes out(room.value_or(in.size() + kCCBlockSizeAES128), 0xEE);
    std::size_t moved = 12345;
    const CCCryptorStatus status =
        CCCrypt(op, kCCAlgorithmAES128, options, key.data(), key.size(), iv, in.data(), in.size(),
                out.data(), out.size(), &moved);
    if (status == kCCSuccess) {
        out.resize(moved);
    }
    return {status, out, moved};
}

constexpr CCOptions kEcbPadded = kCCOptionPKCS7Padding | kCCOptionECBMode;

}  // namespace

TEST(CommonCryptor, KnownAnswersMatchThePublishedVectors) {
    EXPECT_EQ(crypt(kCCEncrypt, kCCOptionECBMode, kNistKey, kNistPlain).bytes, kNistEcb);
    EXPECT_EQ(crypt(kCCDecrypt, kCCOptionECBMode, kNistKey, kNistEcb).bytes, kNistPlain);
    EXPECT_EQ(crypt(kCCEncrypt, 0, kNistKey, kNistPlain, std::nullopt, kNistIv.data()).bytes,
              kNistCbc);
    EXPECT_EQ(crypt(kCCDecrypt, 0, kNistKey, kNistCbc, std::nullopt, kNistIv.data()).bytes,
              kNistPlain);
    // FIPS 197, C.3: a 256-bit key selects AES-256.
    const Bytes key256 =
        fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    EXPECT_EQ(
        crypt(kCCEncrypt, kCCOptionECBMode, key256, fromHex("00112233445566778899aabbccddeeff"))
            .bytes,
        fromHex("8ea2b7ca516745bfeafc49904b496089"));
}

TEST(CommonCryptor, PaddingAlwaysAddsOneToSixteenBytes) {
    // A whole block gains a whole padding block.
    Bytes expected = kNistEcb;
    expected.insert(expected.end(), kNistPaddingBlock.begin(), kNistPaddingBlock.end());
    EXPECT_EQ(crypt(kCCEncrypt, kEcbPadded, kNistKey, kNistPlain).bytes, expected);
    // Nothing gains one block of padding only.
    EXPECT_EQ(crypt(kCCEncrypt, kEcbPadded, kNistKey, {}).bytes, kNistPaddingBlock);
    for (std::size_t n : {0u, 1u, 15u, 16u, 17u, 47u, 48u}) {
        const Bytes plain(n, 0x41);
        const Outcome enciphered = crypt(kCCEncrypt, kEcbPadded, kNistKey, plain);
        ASSERT_EQ(enciphered.status, kCCSuccess) << n;
        EXPECT_EQ(enciphered.bytes.size(), (n / 16 + 1) * 16) << n;
        EXPECT_EQ(crypt(kCCDecrypt, kEcbPadded, kNistKey, enciphered.bytes).bytes, plain) << n;
    }
}

TEST(CommonCryptor, EcbEnciphersEqualBlocksAlike) {
    Bytes plain = kNistPlain;
    plain.insert(plain.end(), kNistPlain.begin(), kNistPlain.end());
    const Bytes out = crypt(kCCEncrypt, kCCOptionECBMode, kNistKey, plain).bytes;
    ASSERT_EQ(out.size(), 32u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16), Bytes(out.begin() + 16, out.end()));
    // The initialisation vector has no effect in ECB mode.
    EXPECT_EQ(
        crypt(kCCEncrypt, kCCOptionECBMode, kNistKey, plain, std::nullopt, kNistIv.data()).bytes,
        out);
}

TEST(CommonCryptor, DamagedOrForeignCipherTextIsRefusedNotReturned) {
    Bytes cipher = crypt(kCCEncrypt, kEcbPadded, kNistKey, Bytes(20, 0x42)).bytes;
    // A wrong key turns the padding into noise (this key's result is checked to fail).
    Bytes otherKey = kNistKey;
    otherKey[0] ^= 1;
    EXPECT_EQ(crypt(kCCDecrypt, kEcbPadded, otherKey, cipher).status, kCCDecodeError);
    // A length that is not whole blocks, and nothing at all, are no padded cipher text.
    EXPECT_EQ(
        crypt(kCCDecrypt, kEcbPadded, kNistKey, Bytes(cipher.begin(), cipher.end() - 1)).status,
        kCCAlignmentError);
    EXPECT_EQ(crypt(kCCDecrypt, kEcbPadded, kNistKey, {}).status, kCCAlignmentError);
    // Without padding, only whole blocks can be enciphered.
    EXPECT_EQ(crypt(kCCEncrypt, kCCOptionECBMode, kNistKey, Bytes(15, 0)).status,
              kCCAlignmentError);
    // A padding block whose bytes disagree (0x10 everywhere but one byte).
    Bytes badPadding(16, 0x10);
    badPadding[3] = 0x0F;
    const Bytes enciphered = crypt(kCCEncrypt, kCCOptionECBMode, kNistKey, badPadding).bytes;
    EXPECT_EQ(crypt(kCCDecrypt, kEcbPadded, kNistKey, enciphered).status, kCCDecodeError);
}

TEST(CommonCryptor, BadArgumentsAreReportedNotFollowed) {
    const Bytes in(16, 1);
    Bytes out(64);
    std::size_t moved = 99;
    EXPECT_EQ(CCCrypt(2, kCCAlgorithmAES128, kEcbPadded, kNistKey.data(), 16, nullptr, in.data(),
                      in.size(), out.data(), out.size(), &moved),
              kCCParamError);
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(CCCrypt(kCCEncrypt, 7, kEcbPadded, kNistKey.data(), 16, nullptr, in.data(), in.size(),
                      out.data(), out.size(), &moved),
              kCCParamError);
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, 0x80, kNistKey.data(), 16, nullptr, in.data(),
                      in.size(), out.data(), out.size(), &moved),
              kCCParamError);
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kEcbPadded, kNistKey.data(), 15, nullptr,
                      in.data(), in.size(), out.data(), out.size(), &moved),
              kCCKeySizeError);
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kEcbPadded, nullptr, 16, nullptr, in.data(),
                      in.size(), out.data(), out.size(), &moved),
              kCCParamError);
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kEcbPadded, kNistKey.data(), 16, nullptr,
                      nullptr, 16, out.data(), out.size(), &moved),
              kCCParamError);
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kEcbPadded, kNistKey.data(), 16, nullptr,
                      in.data(), in.size(), nullptr, 32, &moved),
              kCCParamError);
    // The bytes-written count is optional.
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kEcbPadded, kNistKey.data(), 16, nullptr,
                      in.data(), in.size(), out.data(), out.size(), nullptr),
              kCCSuccess);
}

TEST(CommonCryptor, AShortBufferIsNeverWrittenPastItsEnd) {
    // 16 bytes with padding need 32 bytes of room; 31 are refused with the room needed.
    Bytes guarded(31 + 8, 0xEE);
    std::size_t moved = 0;
    const Bytes in(16, 7);
    EXPECT_EQ(CCCrypt(kCCEncrypt, kCCAlgorithmAES128, kEcbPadded, kNistKey.data(), 16, nullptr,
                      in.data(), in.size(), guarded.data(), 31, &moved),
              kCCBufferTooSmall);
    EXPECT_EQ(moved, 32u);
    EXPECT_EQ(Bytes(guarded.begin() + 31, guarded.end()), Bytes(8, 0xEE));

    // Exactly the result's room is enough, although the cipher library works with more.
    const Outcome exact = crypt(kCCEncrypt, kEcbPadded, kNistKey, Bytes(20, 3), 32);
    ASSERT_EQ(exact.status, kCCSuccess);
    EXPECT_EQ(exact.bytes, crypt(kCCEncrypt, kEcbPadded, kNistKey, Bytes(20, 3)).bytes);
    const Outcome back = crypt(kCCDecrypt, kEcbPadded, kNistKey, exact.bytes, 32);
    ASSERT_EQ(back.status, kCCSuccess);
    EXPECT_EQ(back.bytes, Bytes(20, 3));
}
