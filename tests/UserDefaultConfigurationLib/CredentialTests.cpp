// The stored form of the credentials is shared with the product's other programs, so it is
// checked against vectors made outside this code, with the openssl command line:
//   key:    printf %s "<pass phrase>" | openssl md5          -> 48450f4dc5a752e3b694afb821f9c857
//   vector: printf %s "<text>" | openssl enc -aes-128-ecb -K <key> -base64   (LF -> CR LF)
#include <UserDefaultConfigurationLib/CryptUtil.h>

#include "SharedDomain.h"

using foundation::Data;
using foundation::Date;
using foundation::Value;
using Lib = UserDefaultConfigurationLib;
using pellin::test::storedInAnotherProcess;

namespace {

const std::string k48 = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUV";
const std::string kUnicode =
    "J\xC3\xBCrgen Gr\xC3\xB6\xC3\x9F\x65 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80";

const std::pair<std::string, std::string> kVectors[] = {
    {"", "hjWYmVUH6OpvWHoPp/24Rw=="},
    {"abcdefghijklmno", "wnJRACt7QadtH1Yse3H8Aw=="},
    {"abcdefghijklmnop", "r7s1dxnkE1NGksy/NyhhDoY1mJlVB+jqb1h6D6f9uEc="},
    {k48.substr(0, 47), "r7s1dxnkE1NGksy/NyhhDn9FUJjb429Xf9s2zWHTBxKnbQcjaiMCZZKOWYlLuMVC"},
    {k48,
     "r7s1dxnkE1NGksy/NyhhDn9FUJjb429Xf9s2zWHTBxJq38t7TyiYe2RGx5QvB7pM\r\n"
     "hjWYmVUH6OpvWHoPp/24Rw=="},
    {"user@example.com", "RvxPirDBNuip0TKRKhV4noY1mJlVB+jqb1h6D6f9uEc="},
    {kUnicode, "cyviMZS0XSwjwm26VVPDTDhZ1WPGBdx/mW509LOxvQc="},
    {std::string("ab\0cd", 5), "HB1cKBq6RCBID42wIrmv4w=="},  // a NUL is well-formed UTF-8
};

TEST(CryptUtil, TheStoredFormIsByteForByteWhatOtherProgramsWriteWithTheMd5OfThePhraseAsKey) {
    EXPECT_EQ(CryptUtil::MD5Hash(std::string_view("abc\0def", 7)), CryptUtil::MD5Hash("abc"));
    for (const auto& [plain, stored] : kVectors) {
        EXPECT_EQ(CryptUtil::AES128EncryptWithKey(plain), stored) << plain;
        EXPECT_EQ(CryptUtil::AES128DecryptWithKey(stored), plain) << plain;
    }
    EXPECT_EQ(CryptUtil::AES128crypteCommon(2, Data{1}), std::nullopt);  // no such operation
}

// The fuzz corpus's "bad-*" files: not Base64, cut blocks, another key, a padding byte of 0, plain
// bytes that are not UTF-8 (an overlong form, a surrogate, beyond U+10FFFF).
TEST(CryptUtil, EveryReadingFailureEndsAsNothing) {
    int bad = 0;
    for (const auto& entry : std::filesystem::directory_iterator(STORED_CREDENTIAL_CORPUS)) {
        if (entry.path().filename().string().starts_with("bad-")) {
            const std::string stored = pellin::test::readFile(entry.path());
            EXPECT_EQ(CryptUtil::AES128DecryptWithKey(stored), std::nullopt) << stored;
            ++bad;
        }
    }
    EXPECT_GT(bad, 10);
}

class Credentials : public pellin::test::PellinDomainTest {};

TEST_F(Credentials, IdentifierAndPasswordAreStoredInTheSharedCipherFormAndReadBack) {
    for (const std::string& text : {std::string("user@example.com"), k48, kUnicode,
                                    std::string(200, 'e'), std::string("<\"q\"> & \\\n")}) {
        Lib::setUserId(text);
        Lib::setPassword(text);
        EXPECT_EQ(Lib::getUserId(), text);
        EXPECT_EQ(Lib::getPassword(), text);
        EXPECT_EQ(stored("userId"), stored("password"));
        EXPECT_EQ(stored("userId"), Value(*CryptUtil::AES128EncryptWithKey(text)));
    }
    EXPECT_EQ(pellin::test::probe({"getUserId"}), "<\"q\"> & \\\n");  // another program reads it
    Lib::setUserId("");
    EXPECT_EQ(stored("userId"), Value(kVectors[0].second));
    store("userId", Value(" RvxPirDBNuip0TKR\r\nKhV4noY1mJlV\tB+jqb1h6D6f9uEc=\n"));
    EXPECT_EQ(Lib::getUserId(), "user@example.com");
    EXPECT_EQ(Lib::getPassword(), "<\"q\"> & \\\n");
}

TEST_F(Credentials, EveryReadingFailureEndsAsTheEmptyTextAndKeepsTheStoredValue) {
    EXPECT_EQ(Lib::getUserId(), "");
    EXPECT_EQ(storedInAnotherProcess("password"), "(null)");  // the default was registered
    for (const Value& value : {Value("user@example.com"), Value("xtekN3hBMhmk/NUeY6hzsw=="),
                               Value(12345), Value(Date{1.0e9}), Value(Data{1, 2, 3}), Value(true),
                               Value(foundation::Dictionary{{"userId", Value("x")}})}) {
        store("password", value);
        EXPECT_EQ(Lib::getPassword(), "") << value.description();
        EXPECT_EQ(stored("password"), value);
    }
    // The certificate key is stored as it is; a number reads as its text, other kinds as "".
    Lib::setCertkey("CERT-0001 \xE6\x9D\xB1");
    EXPECT_EQ(stored("certkey"), Value("CERT-0001 \xE6\x9D\xB1"));
    store("certkey", Value(42));
    EXPECT_EQ(Lib::getCertkey(), "42");
    store("certkey", Value(Data{1}));
    EXPECT_EQ(Lib::getCertkey(), "");
}

}  // namespace
