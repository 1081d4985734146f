#include <PellinCommonCrypto/CommonDigest.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

using namespace commoncrypto;

namespace {

std::string md5Hex(std::string_view text) {
    std::array<unsigned char, CC_MD5_DIGEST_LENGTH> digest{};
    if (CC_MD5(text.data(), static_cast<CC_LONG>(text.size()), digest.data()) != digest.data()) {
        return "failed";
    }
    std::string hex;
    for (unsigned char byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

}  // namespace

TEST(CommonDigest, Md5MatchesTheTestSuiteOfRfc1321) {
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(
        md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
        "57edf4a22be3c955ac49da2e2107b67a");
    // The length is taken as given: an embedded NUL is digested like any byte.
    EXPECT_NE(md5Hex(std::string_view("a\0b", 3)), md5Hex("a"));
}

TEST(CommonDigest, NullArgumentsAreRefused) {
    std::array<unsigned char, CC_MD5_DIGEST_LENGTH> digest{};
    EXPECT_EQ(CC_MD5("abc", 3, nullptr), nullptr);
    EXPECT_EQ(CC_MD5(nullptr, 3, digest.data()), nullptr);
    // No bytes at all is the digest of nothing.
    EXPECT_EQ(CC_MD5(nullptr, 0, digest.data()), digest.data());
    EXPECT_EQ(digest[0], 0xd4);
}
