// Faults of the values' descriptions, the formatter and Base64.
#include <PellinFoundation/Base64.h>
#include <PellinFoundation/Format.h>
#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/Value.h>

#include <gtest/gtest.h>

#include <climits>
#include <map>
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

// Formats `args` at once, and later (as on the logger's thread) from the arguments as captured
// now: both texts must be `expected`.
template <class... Args>
void expectFormatted(const std::string& expected, std::string_view format, const Args&... args) {
    namespace detail = format_detail;
    EXPECT_EQ(stringWithRuntimeFormat(format, args...), expected);
    const detail::Argument erased[] = {detail::erase(args)..., {}};
    const std::span arguments(erased, sizeof...(Args));
    std::string captured(detail::capturedSize(arguments), '\0');
    detail::capture(arguments, captured.data());
    std::string later;
    detail::appendFormattedCaptured(later, format, captured);
    EXPECT_EQ(later, expected) << "from the captured arguments";
}

TEST(Format, ConversionsNarrowAndRuntimeFormatsNeverReadAMissingArgument) {
    EXPECT_EQ(stringWithFormat("%hd %hhd %ld %lu 100%%", 32768, true, LONG_MIN, 42UL),
              "-32768 1 " + std::to_string(LONG_MIN) + " 42 100%");
    EXPECT_EQ(stringWithFormat("%@ %@ %@ (%@)", "YES", Value(), std::optional<Value>(),
                               std::string("12")),
              "YES (null) (null) (12)");
    expectFormatted("-32768 1 -5 " + std::to_string(LONG_MIN) + " " + std::to_string(ULONG_MAX),
                    "%hd %hhd %d %ld %lu", 32768, true, std::int16_t{-5}, LONG_MIN, ULONG_MAX);
    expectFormatted(
        std::string(300, 'p') + " (null) ((null)) " + std::string("a\0b", 3) + " (null)",
        "%@ %@ (%s) %@ %@", std::string(300, 'p'), Value(), static_cast<const char*>(nullptr),
        std::string_view("a\0b", 3), std::optional<Value>());
    expectFormatted("one and %!@", "%@ and %@", std::string("one"));
    expectFormatted("%!d %!@ 50% %q", "%d %@ 50% %q", std::string("text"), 5);
}

// The texts of the table: written so exactly ("exact", or with the row's line options), read
// strictly or skipping what is not Base64.
TEST(Base64, TheTableIsReadAndWrittenWithTheLineOptionsOfNSData) {
    constexpr auto k64 = Base64Encoding64CharacterLineLength;
    const std::map<std::string, Base64EncodingOptions> written = {
        {"exact", 0},
        {"lf", Base64EncodingEndLineWithLineFeed},
        {"64", k64},
        {"64 lf", k64 | Base64EncodingEndLineWithLineFeed},
        {"64 cr", k64 | Base64EncodingEndLineWithCarriageReturn},
        {"76", Base64Encoding76CharacterLineLength}};
    for (const auto& row : pellin::test::casesIn("base64.tsv")) {
        const std::string text = pellin::test::unescaped(row.at(0));
        const std::string bytes = pellin::test::unescaped(row.at(2));
        const bool strict = row.at(1) == "exact" || row[1] == "strict";
        const auto decoded =
            base64DecodedData(text, strict ? 0 : Base64DecodingIgnoreUnknownCharacters);
        EXPECT_EQ(decoded, row[2] == "(refused)" ? std::nullopt
                                                 : std::optional(Data(bytes.begin(), bytes.end())))
            << row[0];
        if (written.contains(row[1])) {
            EXPECT_EQ(base64EncodedString(decoded.value_or(Data{}), written.at(row[1])), text);
        }
    }
}

}  // namespace
