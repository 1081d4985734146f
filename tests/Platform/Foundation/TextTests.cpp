// Faults of the values' descriptions, the formatter and Base64.
#include <PellinFoundation/Base64.h>
#include <PellinFoundation/Format.h>
#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/Value.h>

#include <gtest/gtest.h>

#include <climits>
#include <numeric>
#include <optional>
#include <span>

#include "TestCases.h"

using namespace foundation;

namespace {

TEST(Value, DescriptionsAndEqualityFollowFoundation) {
    EXPECT_EQ(Value().description(), "(null)");
    for (const auto& row : pellin::test::casesIn("value-descriptions.tsv")) {
        const auto value = PropertyListSerialization::propertyListWithData(row.at(0));
        EXPECT_EQ(value.value_or(Value()).description(), pellin::test::unescaped(row.at(1)));
    }
    EXPECT_NE(Value(1), Value(true));
    EXPECT_NE(Value(1), Value(1.0));
    EXPECT_NE(Value("1"), Value(1));
    EXPECT_NE(Value(Dictionary{{"a", Value(1)}}), Value(Dictionary{{"a", Value(2)}}));
}

TEST(Format, ConversionsNarrowAndRuntimeFormatsNeverReadAMissingArgument) {
    EXPECT_EQ(stringWithFormat("%hd %hhd %ld %lu 100%%", 32768, true, LONG_MIN, 42UL),
              "-32768 1 " + std::to_string(LONG_MIN) + " 42 100%");
    EXPECT_EQ(stringWithFormat("%@ %@ %@ (%@)", "YES", Value(), std::optional<Value>(),
                               std::string("12")),
              "YES (null) (null) (12)");
    EXPECT_EQ(stringWithRuntimeFormat("%@ and %@", std::string("one")), "one and %!@");
    EXPECT_EQ(stringWithRuntimeFormat("%d %@ 50% %q", std::string("text"), 5), "%!d %!@ 50% %q");
    EXPECT_EQ(stringWithRuntimeFormat("%s", static_cast<const char*>(nullptr)), "(null)");
}

// The text made later, on another thread, from the arguments as captured now.
template <class... Args>
std::string formattedLater(std::string_view format, const Args&... args) {
    namespace detail = format_detail;
    const detail::Argument erased[] = {detail::erase(args)..., {}};
    const std::span arguments(erased, sizeof...(Args));
    std::string captured(detail::capturedSize(arguments), '\0');
    detail::capture(arguments, captured.data());
    std::string text;
    detail::appendFormattedCaptured(text, format, captured);
    return text;
}

TEST(Format, CapturedArgumentsMakeTheSameTextLater) {
    const auto same = [](std::string_view format, const auto&... args) {
        EXPECT_EQ(formattedLater(format, args...), stringWithRuntimeFormat(format, args...));
    };
    same("%hd %hhd %d %ld %lu", 32768, true, std::int16_t{-5}, LONG_MIN, ULONG_MAX);
    same("%@ %@ (%s) %@ %@", std::string(300, 'p'), Value(), static_cast<const char*>(nullptr),
         std::string_view("a\0b", 3), std::optional<Value>());
    same("%d %@ %q, %@", std::string("text"), 5);
}

Data counting(std::size_t n) {
    Data out(n);
    std::iota(out.begin(), out.end(), std::uint8_t{0});
    return out;
}

// `openssl base64` of the bytes 0..99.
const std::string kLine1 = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4v";
const std::string kLine2 = "MDEyMzQ1Njc4OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5f";
const std::string kLine3 = "YGFiYw==";

TEST(Base64, EncodingFollowsRfc4648WithTheLineOptionsOfNSData) {
    const Data data = counting(100);
    EXPECT_EQ(base64EncodedString(data), kLine1 + kLine2 + kLine3);
    const std::pair<Base64EncodingOptions, std::string> lines[] = {
        {Base64Encoding64CharacterLineLength, kLine1 + "\r\n" + kLine2 + "\r\n" + kLine3},
        {Base64Encoding64CharacterLineLength | Base64EncodingEndLineWithLineFeed,
         kLine1 + "\n" + kLine2 + "\n" + kLine3},
        {Base64Encoding64CharacterLineLength | Base64EncodingEndLineWithCarriageReturn,
         kLine1 + "\r" + kLine2 + "\r" + kLine3},
        {Base64EncodingEndLineWithLineFeed, kLine1 + kLine2 + kLine3}};
    for (const auto& [options, text] : lines) {
        EXPECT_EQ(base64EncodedString(data, options), text) << options;
    }
    // Whole lines get no line end after the last.
    EXPECT_EQ(base64EncodedString(counting(96), Base64Encoding64CharacterLineLength),
              kLine1 + "\r\n" + kLine2);
    EXPECT_EQ(base64EncodedString(data, Base64Encoding76CharacterLineLength).find("\r\n"), 76u);
}

// The texts of the table: written so exactly ("exact"), read strictly or skipping what is not
// Base64 ("ignore").
TEST(Base64, DecodingSkipsUnknownCharactersOnlyWhenAskedAndRefusesBadPadding) {
    constexpr auto kIgnore = Base64DecodingIgnoreUnknownCharacters;
    for (const auto& row : pellin::test::casesIn("base64.tsv")) {
        const std::string text = pellin::test::unescaped(row.at(0));
        const std::string bytes = pellin::test::unescaped(row.at(2));
        const auto decoded = base64DecodedData(text, row.at(1) == "ignore" ? kIgnore : 0);
        EXPECT_EQ(decoded, row[2] == "(refused)" ? std::nullopt
                                                 : std::optional(Data(bytes.begin(), bytes.end())))
            << row[0];
        if (row[1] == "exact") {
            EXPECT_EQ(base64EncodedString(decoded.value_or(Data{})), text);
        }
    }
    const std::string lines =
        base64EncodedString(counting(100), Base64Encoding64CharacterLineLength);
    EXPECT_EQ(base64DecodedData(lines, kIgnore), counting(100));
}

}  // namespace
