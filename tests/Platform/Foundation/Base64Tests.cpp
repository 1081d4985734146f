#include <PellinFoundation/Base64.h>

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <string_view>

using foundation::base64DecodedData;
using foundation::Base64DecodingIgnoreUnknownCharacters;
using foundation::base64EncodedString;
using foundation::Base64Encoding64CharacterLineLength;
using foundation::Base64Encoding76CharacterLineLength;
using foundation::Base64EncodingEndLineWithCarriageReturn;
using foundation::Base64EncodingEndLineWithLineFeed;
using foundation::Data;

namespace {

Data bytesOf(std::string_view text) {
    return Data(text.begin(), text.end());
}

Data counting(std::size_t n) {
    Data out(n);
    std::iota(out.begin(), out.end(), std::uint8_t{0});
    return out;
}

// `openssl base64` of the bytes 0..99: lines of 64 characters.
constexpr std::string_view kCounting100Line1 =
    "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4v";
constexpr std::string_view kCounting100Line2 =
    "MDEyMzQ1Njc4OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5f";
constexpr std::string_view kCounting100Line3 = "YGFiYw==";

constexpr auto kIgnore = Base64DecodingIgnoreUnknownCharacters;

}  // namespace

TEST(Base64, EncodingFollowsRfc4648) {
    EXPECT_EQ(base64EncodedString(bytesOf("")), "");
    EXPECT_EQ(base64EncodedString(bytesOf("f")), "Zg==");
    EXPECT_EQ(base64EncodedString(bytesOf("fo")), "Zm8=");
    EXPECT_EQ(base64EncodedString(bytesOf("foo")), "Zm9v");
    EXPECT_EQ(base64EncodedString(bytesOf("foob")), "Zm9vYg==");
    EXPECT_EQ(base64EncodedString(bytesOf("fooba")), "Zm9vYmE=");
    EXPECT_EQ(base64EncodedString(bytesOf("foobar")), "Zm9vYmFy");
    // Both characters beyond the letters and digits, and every bit pattern of a byte.
    EXPECT_EQ(base64EncodedString(Data{0xfb, 0xff, 0xbf}), "+/+/");
    const std::string all = std::string(kCounting100Line1) + std::string(kCounting100Line2) +
                            std::string(kCounting100Line3);
    EXPECT_EQ(base64EncodedString(counting(100)), all);
}

TEST(Base64, LinesOf64AreJoinedByCrLfWithNoneAfterTheLast) {
    const auto options = Base64Encoding64CharacterLineLength;
    // 48 bytes fill exactly one line: no line end follows it.
    EXPECT_EQ(base64EncodedString(counting(48), options), kCounting100Line1);
    EXPECT_EQ(base64EncodedString(counting(100), options),
              std::string(kCounting100Line1) + "\r\n" + std::string(kCounting100Line2) + "\r\n" +
                  std::string(kCounting100Line3));
    // 96 bytes fill two whole lines; still nothing after the second.
    EXPECT_EQ(base64EncodedString(counting(96), options),
              std::string(kCounting100Line1) + "\r\n" + std::string(kCounting100Line2));
    EXPECT_EQ(base64EncodedString({}, options), "");
}

TEST(Base64, LineEndAndLengthOptionsCombineAsNSDataDoes) {
    const Data data = counting(100);
    const std::string lf = base64EncodedString(
        data, Base64Encoding64CharacterLineLength | Base64EncodingEndLineWithLineFeed);
    EXPECT_EQ(lf, std::string(kCounting100Line1) + "\n" + std::string(kCounting100Line2) + "\n" +
                      std::string(kCounting100Line3));
    const std::string cr = base64EncodedString(
        data, Base64Encoding64CharacterLineLength | Base64EncodingEndLineWithCarriageReturn);
    EXPECT_EQ(cr.find('\n'), std::string::npos);
    EXPECT_EQ(cr.substr(64, 1), "\r");
    const std::string both = base64EncodedString(data, Base64Encoding64CharacterLineLength |
                                                           Base64EncodingEndLineWithCarriageReturn |
                                                           Base64EncodingEndLineWithLineFeed);
    EXPECT_EQ(both, base64EncodedString(data, Base64Encoding64CharacterLineLength));
    const std::string seventySix = base64EncodedString(data, Base64Encoding76CharacterLineLength);
    EXPECT_EQ(seventySix.find("\r\n"), 76u);
    // A line end alone breaks nothing.
    EXPECT_EQ(base64EncodedString(data, Base64EncodingEndLineWithLineFeed),
              base64EncodedString(data));
}

TEST(Base64, DecodingRestoresWhatWasEncoded) {
    EXPECT_EQ(base64DecodedData("Zm9vYmE="), bytesOf("fooba"));
    EXPECT_EQ(base64DecodedData("Zm9vYg=="), bytesOf("foob"));
    EXPECT_EQ(base64DecodedData("+/+/"), (Data{0xfb, 0xff, 0xbf}));
    EXPECT_EQ(base64DecodedData(""), Data{});
    for (std::size_t n = 0; n < 100; ++n) {
        const Data data = counting(n);
        EXPECT_EQ(base64DecodedData(base64EncodedString(data)), data) << n;
        EXPECT_EQ(base64DecodedData(base64EncodedString(data, Base64Encoding64CharacterLineLength),
                                    kIgnore),
                  data)
            << n;
    }
}

TEST(Base64, UnknownCharactersAreSkippedOnlyWhenAskedTo) {
    const std::string lines =
        base64EncodedString(counting(100), Base64Encoding64CharacterLineLength);
    EXPECT_EQ(base64DecodedData(lines, kIgnore), counting(100));
    // Strict decoding refuses the line ends.
    EXPECT_EQ(base64DecodedData(lines), std::nullopt);
    // Blanks, tabs, bare line feeds, a trailing line end and other stray characters anywhere,
    // even between the padding characters.
    EXPECT_EQ(base64DecodedData(" Zm9v\tYm\nE=\r\n", kIgnore), bytesOf("fooba"));
    EXPECT_EQ(base64DecodedData("Zm9v*Yg=.=!", kIgnore), bytesOf("foob"));
    EXPECT_EQ(base64DecodedData(std::string_view("Zm\09v\xff", 6), kIgnore), bytesOf("foo"));
    EXPECT_EQ(base64DecodedData("Zm9v Yg==", 0), std::nullopt);
    // Nothing but unknown characters is no bytes at all.
    EXPECT_EQ(base64DecodedData(" \r\n-", kIgnore), Data{});
}

TEST(Base64, MalformedTextDecodesToNothing) {
    for (const std::string_view text : {
             "Z",          // a lone character carries no whole byte
             "Zm9vY",      // a lone leftover after whole groups
             "Zm9vYg",     // padding missing
             "Zm9vYmE",    // padding missing
             "Zm9vYg=",    // one "=" short
             "Zm9vYmE==",  // one "=" too many
             "Zm9v=",      // padding after a whole group
             "====",       // padding alone
             "Zg==Zg==",   // something after the padding
             "Zm9vYg===",  // three "="
             "Zm=9v",      // padding inside a group
         }) {
        EXPECT_EQ(base64DecodedData(text, kIgnore), std::nullopt) << text;
        EXPECT_EQ(base64DecodedData(text), std::nullopt) << text;
    }
}

TEST(Base64, UnusedBitsOfAPaddedGroupAreNotChecked) {
    // "Zh==" differs from "Zg==" only in bits that carry no byte.
    EXPECT_EQ(base64DecodedData("Zh=="), bytesOf("f"));
}
