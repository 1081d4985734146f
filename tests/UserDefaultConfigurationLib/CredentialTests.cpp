#include <algorithm>
#include <string>

#include "CapturedLog.h"
#include "SharedDomain.h"

using foundation::Data;
using foundation::Date;
using foundation::Value;
using Lib = UserDefaultConfigurationLib;

namespace {

class Credentials : public pellin::test::PellinDomainTest {};

// Made with the openssl command line (see CryptUtilTests.cpp).
constexpr std::string_view kUserVector = "RvxPirDBNuip0TKRKhV4noY1mJlVB+jqb1h6D6f9uEc=";
constexpr std::string_view kUser = "user@example.com";
constexpr std::string_view kEmptyVector = "hjWYmVUH6OpvWHoPp/24Rw==";
constexpr std::string_view k48 = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUV";
constexpr std::string_view k48Vector =
    "r7s1dxnkE1NGksy/NyhhDn9FUJjb429Xf9s2zWHTBxJq38t7TyiYe2RGx5QvB7pM\r\n"
    "hjWYmVUH6OpvWHoPp/24Rw==";

bool cipherWasCalled(const pellin::test::CapturedLog& log) {
    const auto functions = log.functionsAndTexts();
    return std::any_of(functions.begin(), functions.end(),
                       [](const std::string& line) { return line.starts_with("+[CryptUtil"); });
}

}  // namespace

TEST_F(Credentials, IdentifierAndPasswordAreStoredInTheSharedCipherForm) {
    Lib::setUserId(kUser);
    Lib::setPassword(kUser);
    EXPECT_EQ(storedText("userId"), kUserVector);
    EXPECT_EQ(storedText("password"), kUserVector);
    EXPECT_EQ(Lib::getUserId(), kUser);
    EXPECT_EQ(Lib::getPassword(), kUser);
    // 48 bytes: two lines joined by CR LF, as other programs write them.
    Lib::setPassword(k48);
    EXPECT_EQ(storedText("password"), k48Vector);
    EXPECT_EQ(Lib::getPassword(), k48);
    // Written by another program: read here.
    store("userId", Value(k48Vector));
    EXPECT_EQ(Lib::getUserId(), k48);
}

TEST_F(Credentials, AnEmptyIdentifierIsStoredAsOnePaddingBlock) {
    Lib::setUserId("");
    EXPECT_EQ(storedText("userId"), kEmptyVector);
    EXPECT_EQ(storedText("userId").size(), 24u);
    EXPECT_EQ(Lib::getUserId(), "");
}

TEST_F(Credentials, TextsOfEveryLengthAndScriptReadBackUnchanged) {
    const std::string texts[] = {
        std::string(15, 'a'),
        std::string(16, 'b'),
        std::string(47, 'c'),
        std::string(48, 'd'),
        std::string(200, 'e'),
        "J\xC3\xBCrgen Gr\xC3\xB6\xC3\x9F\x65 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80",
        "with \"quotes\", <tags> & \\ backslash\nnew line",
    };
    for (const std::string& text : texts) {
        Lib::setUserId(text);
        Lib::setPassword(text);
        EXPECT_EQ(Lib::getUserId(), text);
        EXPECT_EQ(Lib::getPassword(), text);
    }
    Lib::setUserId(
        "J\xC3\xBCrgen Gr\xC3\xB6\xC3\x9F\x65 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(storedText("userId"), "cyviMZS0XSwjwm26VVPDTDhZ1WPGBdx/mW509LOxvQc=");
}

TEST_F(Credentials, AMissingKeyReadsAsEmptyWithoutDeciphering) {
    pellin::test::CapturedLog log;
    EXPECT_EQ(Lib::getUserId(), "");
    EXPECT_EQ(Lib::getPassword(), "");
    EXPECT_EQ(Lib::getCertkey(), "");
    // An empty stored text is not deciphered either.
    store("userId", Value(""));
    EXPECT_EQ(Lib::getUserId(), "");
    EXPECT_FALSE(cipherWasCalled(log));
    // The empty default was registered, not stored.
    EXPECT_EQ(pellin::test::storedInAnotherProcess("password"), "(null)");
}

TEST_F(Credentials, BaseSixtyFourWithBlanksAndLineBreaksInsideReadsTheSame) {
    store("userId", Value(" RvxPirDBNuip0TKR\r\nKhV4noY1mJlV\tB+jqb1h6D6f9uEc=\n"));
    EXPECT_EQ(Lib::getUserId(), kUser);
    store("password", Value("r7s1dxnkE1NGksy/NyhhDn9FUJjb429Xf9s2zWHTBxJq38t7TyiYe2RGx5QvB7pM\n"
                            "hjWYmVUH6OpvWHoPp/24Rw==\n"));
    EXPECT_EQ(Lib::getPassword(), k48);
}

TEST_F(Credentials, EveryReadingFailureEndsAsTheEmptyTextAndKeepsTheStoredValue) {
    const Value failures[] = {
        Value("user@example.com"),              // plain text of another writer
        Value("!!!"),                           // nothing of Base64 in it
        Value("RvxPirDBNuip0TKRKhV4noY1mJk="),  // cipher text of 20 bytes
        Value("xtekN3hBMhmk/NUeY6hzsw=="),      // enciphered with another key
        Value("DD+cXU/GuNN2VlrFlGJfng=="),      // padding that does not check out
        Value("2GMoRHnL14SZh5HFjsfH2g=="),      // plain bytes that are not UTF-8
        Value(12345),                           // a number reads as its text, "12345"
        Value(Date{1.0e9}),                     // neither text nor number
        Value(Data{1, 2, 3}),
        Value(true),
        Value(foundation::Dictionary{{"userId", Value("x")}}),
    };
    for (const Value& value : failures) {
        for (const char* key : {"userId", "password"}) {
            store(key, value);
            EXPECT_EQ(key == std::string_view("userId") ? Lib::getUserId() : Lib::getPassword(), "")
                << key << " " << value.description();
            EXPECT_EQ(stored(key), value) << key;
        }
    }
}

TEST_F(Credentials, TheCertKeyIsStoredAndReturnedUnchanged) {
    Lib::setCertkey("CERT-0001 \xE6\x9D\xB1");
    EXPECT_EQ(storedText("certkey"), "CERT-0001 \xE6\x9D\xB1");
    EXPECT_EQ(Lib::getCertkey(), "CERT-0001 \xE6\x9D\xB1");
    Lib::setCertkey("");
    EXPECT_EQ(stored("certkey"), Value(""));
    EXPECT_EQ(Lib::getCertkey(), "");
    // A stored number reads as its text; other kinds as the empty text, left as they are.
    store("certkey", Value(42));
    EXPECT_EQ(Lib::getCertkey(), "42");
    store("certkey", Value(Data{1}));
    EXPECT_EQ(Lib::getCertkey(), "");
    EXPECT_EQ(stored("certkey"), Value(Data{1}));
}

TEST_F(Credentials, AnotherProgramReadsTheIdentifierWithoutSynchronize) {
    Lib::setUserId(kUser);
    EXPECT_EQ(pellin::test::readInAnotherProcess({"getUserId"}), std::string(kUser) + "\n");
    Lib::removeUserInfo();
    EXPECT_EQ(pellin::test::readInAnotherProcess({"getUserId"}), "\n");
}

TEST_F(Credentials, WritingReplacesTheCredentialWithoutTouchingTheOthers) {
    Lib::setUserId("first");
    Lib::setPassword("secret");
    Lib::setCertkey("cert");
    Lib::setUserId("second");
    EXPECT_EQ(Lib::getUserId(), "second");
    EXPECT_EQ(Lib::getPassword(), "secret");
    EXPECT_EQ(Lib::getCertkey(), "cert");
}
