// The AES and MD5 primitives against published answers, and every call they must refuse.
#include <PellinCommonCrypto/CommonCryptor.h>
#include <PellinCommonCrypto/CommonDigest.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestCases.h"

using namespace commoncrypto;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes hex(const std::string& text) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

constexpr CCOptions kEcb = kCCOptionECBMode, kPadded = kCCOptionPKCS7Padding | kCCOptionECBMode;
const Bytes kKey = hex("2b7e151628aed2a6abf7158809cf4f3c");  // the key of aes-vectors.tsv
const Bytes kIv = hex("000102030405060708090a0b0c0d0e0f");

// The status, and what was written (all the room, 0xEE where nothing was, on a failure).
std::pair<CCCryptorStatus, Bytes> crypt(CCOperation op, CCOptions options, const Bytes& key,
                                        const Bytes& in, const void* iv = nullptr,
                                        std::size_t room = 64) {
    Bytes out(room + 8, 0xEE);
    std::size_t moved = 0;
    const CCCryptorStatus status = CCCrypt(op, 0, options, key.data(), key.size(), iv, in.data(),
                                           in.size(), out.data(), room, &moved);
    out.resize(status == kCCSuccess ? moved : out.size());
    return {status, out};
}

}  // namespace

TEST(CommonCryptor, EnciphersAndDeciphersThePublishedVectors) {
    for (const auto& row : pellin::test::casesIn("aes-vectors.tsv")) {
        const CCOptions options = row.at(0) == "CBC" ? 0 : row[0] == "ECB" ? kEcb : kPadded;
        const void* iv = row[0] == "CBC" ? kIv.data() : nullptr;
        EXPECT_EQ(crypt(kCCEncrypt, options, kKey, hex(row.at(1)), iv).second, hex(row.at(2)));
        EXPECT_EQ(crypt(kCCDecrypt, options, kKey, hex(row.at(2)), iv).second, hex(row.at(1)));
    }
    // Exactly the result's room is enough, although the cipher library works with more.
    EXPECT_EQ(crypt(kCCEncrypt, kPadded, kKey, Bytes(20, 3), nullptr, 32).first, kCCSuccess);
}

TEST(CommonCryptor, WhatCannotBeDoneIsRefusedWithItsReasonAndNothingWrittenPastTheRoom) {
    for (const auto& row : pellin::test::casesIn("aes-refusals.tsv")) {
        const auto number = [&row](std::size_t field) {
            return static_cast<std::uint32_t>(std::stoul(row.at(field), nullptr, 0));
        };
        const std::size_t room = number(4);
        const auto [status, out] =
            crypt(number(0), number(1), hex(row.at(2)), hex(row.at(3)), nullptr, room);
        EXPECT_EQ(status, std::stoi(row.at(5))) << row.at(6);
        EXPECT_EQ(Bytes(out.begin() + static_cast<long>(room), out.end()), Bytes(8, 0xEE));
    }
    Bytes in(16, 1), out(32);
    std::size_t moved = 99;
    const auto call = [&](CCAlgorithm alg, const void* key, const void* data, void* into) {
        return CCCrypt(0, alg, kPadded, key, 16, nullptr, data, 16, into, 31, &moved);
    };
    EXPECT_EQ(call(0, kKey.data(), in.data(), out.data()), kCCBufferTooSmall);
    EXPECT_EQ(moved, 32u);
    for (const auto status :
         {call(7, kKey.data(), in.data(), out.data()), call(0, nullptr, in.data(), out.data()),
          call(0, kKey.data(), nullptr, out.data()), call(0, kKey.data(), in.data(), nullptr)}) {
        EXPECT_EQ(status, kCCParamError);
        EXPECT_EQ(moved, 0u);
    }
}

TEST(CommonDigest, Md5MatchesRfc1321AndRefusesNullArguments) {
    const auto md5 = [](const std::string& text) {
        unsigned char digest[CC_MD5_DIGEST_LENGTH];
        CC_MD5(text.data(), static_cast<CC_LONG>(text.size()), digest);
        return Bytes(digest, digest + CC_MD5_DIGEST_LENGTH);
    };
    EXPECT_EQ(md5(""), hex("d41d8cd98f00b204e9800998ecf8427e"));
    EXPECT_EQ(md5("1234567890123456789012345678901234567890"
                  "1234567890123456789012345678901234567890"),
              hex("57edf4a22be3c955ac49da2e2107b67a"));
    EXPECT_NE(md5(std::string("a\0b", 3)), md5("a"));  // the length is taken as given
    unsigned char digest[CC_MD5_DIGEST_LENGTH] = {};
    EXPECT_EQ(CC_MD5("abc", 3, nullptr), nullptr);
    EXPECT_EQ(CC_MD5(nullptr, 3, digest), nullptr);
    EXPECT_EQ(CC_MD5(nullptr, 0, digest), digest);
    EXPECT_EQ(digest[0], 0xd4);  // no bytes at all: the digest of nothing
}
