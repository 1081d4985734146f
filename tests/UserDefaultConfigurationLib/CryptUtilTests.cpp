// The stored form of the credentials is shared with the product's other programs, so it is
// checked against vectors made outside this code, with the openssl command line:
//   key:    printf %s "<pass phrase>" | openssl md5          -> 48450f4dc5a752e3b694afb821f9c857
//   vector: printf %s "<text>" | openssl enc -aes-128-ecb -K <key> -base64   (LF -> CR LF)
#include <UserDefaultConfigurationLib/CryptUtil.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "CapturedLog.h"

namespace {

using foundation::Data;

Data bytesOf(std::string_view text) {
    return Data(text.begin(), text.end());
}

struct Vector {
    std::string_view plain;
    std::string_view stored;
};

constexpr std::string_view k47 = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU";
constexpr std::string_view k48 = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUV";

constexpr Vector kVectors[] = {
    {"", "hjWYmVUH6OpvWHoPp/24Rw=="},
    {"abcdefghijklmno", "wnJRACt7QadtH1Yse3H8Aw=="},
    {"abcdefghijklmnop", "r7s1dxnkE1NGksy/NyhhDoY1mJlVB+jqb1h6D6f9uEc="},
    {k47, "r7s1dxnkE1NGksy/NyhhDn9FUJjb429Xf9s2zWHTBxKnbQcjaiMCZZKOWYlLuMVC"},
    {k48,
     "r7s1dxnkE1NGksy/NyhhDn9FUJjb429Xf9s2zWHTBxJq38t7TyiYe2RGx5QvB7pM\r\n"
     "hjWYmVUH6OpvWHoPp/24Rw=="},
    {"user@example.com", "RvxPirDBNuip0TKRKhV4noY1mJlVB+jqb1h6D6f9uEc="},
    // 27 UTF-8 bytes: Latin letters with diacritics, CJK and a character beyond the BMP.
    {"J\xC3\xBCrgen Gr\xC3\xB6\xC3\x9F\x65 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80",
     "cyviMZS0XSwjwm26VVPDTDhZ1WPGBdx/mW509LOxvQc="},
};

}  // namespace

TEST(CryptUtil, TheKeyIsTheMd5OfThePassPhrase) {
    const Data expected = {0x48, 0x45, 0x0f, 0x4d, 0xc5, 0xa7, 0x52, 0xe3,
                           0xb6, 0x94, 0xaf, 0xb8, 0x21, 0xf9, 0xc8, 0x57};
    EXPECT_EQ(CryptUtil::MD5Hash("Qm4TzR8vLw2NcX6pHb9JkD3sYf7GaE"), expected);
    // Raw digest bytes, not hexadecimal text; the text ends at its first NUL.
    EXPECT_EQ(CryptUtil::MD5Hash("abc").size(), 16u);
    EXPECT_EQ(CryptUtil::MD5Hash(std::string_view("abc\0def", 7)), CryptUtil::MD5Hash("abc"));
    EXPECT_EQ(CryptUtil::MD5Hash(""), (Data{0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04, 0xe9,
                                            0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e}));
}

TEST(CryptUtil, TheStoredFormIsByteForByteWhatOtherProgramsWrite) {
    for (const auto& [plain, stored] : kVectors) {
        EXPECT_EQ(CryptUtil::AES128EncryptWithKey(plain), std::string(stored)) << plain;
        EXPECT_EQ(CryptUtil::AES128DecryptWithKey(stored), std::string(plain)) << plain;
    }
}

TEST(CryptUtil, StoredLengthsFollowTheBlockAndLineArithmetic) {
    // 0, 15, 16, 47 and 48 bytes: 24, 24, 44, 64 and 90 characters, the last with one CR LF.
    const std::pair<std::size_t, std::size_t> lengths[] = {
        {0, 24}, {15, 24}, {16, 44}, {47, 64}, {48, 90}, {95, 64 + 2 + 64}, {96, 2 * 64 + 4 + 24}};
    for (const auto& [plainLength, storedLength] : lengths) {
        const std::string plain(plainLength, 'x');
        const auto stored = CryptUtil::AES128EncryptWithKey(plain);
        ASSERT_TRUE(stored.has_value()) << plainLength;
        EXPECT_EQ(stored->size(), storedLength) << plainLength;
        EXPECT_EQ(stored->find("\r\n"), storedLength > 64 ? 64 : std::string::npos) << plainLength;
        EXPECT_FALSE(stored->ends_with("\n")) << plainLength;
        EXPECT_EQ(CryptUtil::AES128DecryptWithKey(*stored), plain) << plainLength;
    }
}

TEST(CryptUtil, EcbEnciphersEachBlockByItself) {
    // "abcdefghijklmnop" opens the 16-, 47- and 48-byte vectors alike.
    EXPECT_EQ(std::string(kVectors[2].stored.substr(0, 21)),
              std::string(kVectors[3].stored.substr(0, 21)));
    const auto twice =
        CryptUtil::AES128crypteCommon(CryptUtil::kEncrypt, bytesOf(std::string(32, 'z')));
    ASSERT_TRUE(twice.has_value());
    ASSERT_EQ(twice->size(), 48u);
    EXPECT_TRUE(std::equal(twice->begin(), twice->begin() + 16, twice->begin() + 16));
    EXPECT_EQ(CryptUtil::AES128EncryptWithKey("same"), CryptUtil::AES128EncryptWithKey("same"));
}

TEST(CryptUtil, TheCipherCoreAnswersNothingOnFailure) {
    const auto cipher = CryptUtil::AES128crypteCommon(CryptUtil::kEncrypt, bytesOf("hello"));
    ASSERT_TRUE(cipher.has_value());
    EXPECT_EQ(cipher->size(), 16u);
    EXPECT_EQ(CryptUtil::AES128crypteCommon(CryptUtil::kDecrypt, *cipher), bytesOf("hello"));
    // An unknown operation, cipher text that is not whole blocks, and no cipher text at all.
    EXPECT_EQ(CryptUtil::AES128crypteCommon(2, bytesOf("hello")), std::nullopt);
    EXPECT_EQ(CryptUtil::AES128crypteCommon(CryptUtil::kDecrypt,
                                            Data(cipher->begin(), cipher->end() - 1)),
              std::nullopt);
    EXPECT_EQ(CryptUtil::AES128crypteCommon(CryptUtil::kDecrypt, Data{}), std::nullopt);
    // Empty plain text enciphers to one whole padding block.
    EXPECT_EQ(CryptUtil::AES128crypteCommon(CryptUtil::kEncrypt, Data{})->size(), 16u);
}

TEST(CryptUtil, StoredTextWithBlanksAndLineBreaksInsideReadsTheSame) {
    EXPECT_EQ(
        CryptUtil::AES128DecryptWithKey(" RvxPirDBNuip0TKR\r\nKhV4noY1mJlV\tB+jqb1h6D6f9uEc=\n"),
        "user@example.com");
    EXPECT_EQ(CryptUtil::AES128DecryptWithKey(
                  "r7s1dxnkE1NGksy/NyhhDn9FUJjb429Xf9s2zWHTBxJq38t7TyiYe2RGx5QvB7pM\n"
                  "hjWYmVUH6OpvWHoPp/24Rw==\r\n"),
              std::string(k48));
    EXPECT_EQ(
        CryptUtil::AES128DecryptWithKey("Rvx PirD BNui p0TK RKhV 4noY 1mJl VB+j qb1h 6D6f 9uEc ="),
        "user@example.com");
}

TEST(CryptUtil, EveryReadingFailureEndsAsNothing) {
    const std::string_view failures[] = {
        "",                              // nothing stored deciphers as no bytes
        "user@example.com",              // plain text of another writer: not Base64
        "not base64 at all!",            // decodes to nothing
        "RvxPirDBNuip0TKRKhV4no==",      // 16 cipher bytes of a 32-byte text: damaged padding
        "RvxPirDBNuip0TKRKhV4noY1mJk=",  // 20 bytes: not whole blocks
        "xtekN3hBMhmk/NUeY6hzsw==",      // enciphered with another key
        "DD+cXU/GuNN2VlrFlGJfng==",      // a last block whose padding byte is 0
        "2GMoRHnL14SZh5HFjsfH2g==",      // plain bytes FF FE 41: not UTF-8
        "mBMUv5GFF81+xM1QUtpi7Q==",      // C0 AF: an overlong form
        "rN9FJ0lSkv+wIVkDgatTvA==",      // ED A0 80: a surrogate
        "l0l0KBiYEsWfHC/O835LuA==",      // F4 90 80 80: beyond U+10FFFF
    };
    for (const std::string_view stored : failures) {
        EXPECT_EQ(CryptUtil::AES128DecryptWithKey(stored), std::nullopt) << stored;
    }
    // A NUL is well-formed UTF-8 and stays in the text.
    EXPECT_EQ(CryptUtil::AES128DecryptWithKey("HB1cKBq6RCBID42wIrmv4w=="),
              std::string("ab\0cd", 5));
}

TEST(CryptUtil, EachOperationLogsItsEntryAndExitUnderItsOwnName) {
    pellin::test::CapturedLog log;
    CryptUtil::AES128EncryptWithKey("x");
    const std::vector<std::string> encipher = {
        "+[CryptUtil AES128EncryptWithKey:] | Start AES128EncryptWithKey:",
        "+[CryptUtil AES128crypteCommon:targetData:] | Start AES128crypteCommon:targetData:",
        "+[CryptUtil MD5Hash:] | Start MD5Hash:",
        "+[CryptUtil MD5Hash:] | End MD5Hash:",
        "+[CryptUtil AES128crypteCommon:targetData:] | End AES128crypteCommon:targetData:",
        "+[CryptUtil AES128EncryptWithKey:] | End AES128EncryptWithKey:",
    };
    EXPECT_EQ(log.functionsAndTexts(), encipher);
    for (const auto& message : log.messages()) {
        EXPECT_EQ(message.flag, lumberjack::DDLogFlagDebug);
        EXPECT_EQ(message.fileName, "CryptUtil.cpp");
    }
    // A failed decipherment writes its exit lines all the same, and nothing more.
    log.clear();
    EXPECT_EQ(CryptUtil::AES128DecryptWithKey("xtekN3hBMhmk/NUeY6hzsw=="), std::nullopt);
    const std::vector<std::string> failed = {
        "Start AES128DecryptWithKey:",
        "Start AES128crypteCommon:targetData:",
        "Start MD5Hash:",
        "End MD5Hash:",
        "End AES128crypteCommon:targetData:",
        "End AES128DecryptWithKey:",
    };
    EXPECT_EQ(log.texts(), failed);
}
