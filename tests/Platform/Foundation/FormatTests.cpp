#include <PellinFoundation/Format.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

using foundation::stringWithFormat;
using foundation::stringWithRuntimeFormat;
using foundation::Value;

TEST(Format, IntegersAreNarrowedToTheWidthOfTheirConversion) {
    EXPECT_EQ(stringWithFormat("%hd", 32768), "-32768");
    EXPECT_EQ(stringWithFormat("%hd", std::int16_t{-1}), "-1");
    EXPECT_EQ(stringWithFormat("%hhd %hhd", true, false), "1 0");
    EXPECT_EQ(stringWithFormat("%d", std::int16_t{-5}), "-5");
    EXPECT_EQ(stringWithFormat("%ld", LONG_MIN), std::to_string(LONG_MIN));
    EXPECT_EQ(stringWithFormat("%lu", 42UL), "42");
    EXPECT_EQ(stringWithFormat("100%% of %d", 3), "100% of 3");
}

TEST(Format, ObjectsPrintTheirDescription) {
    const std::optional<Value> absent;
    EXPECT_EQ(stringWithFormat("%@ isExist=%@", "existsPellinApp", "YES"),
              "existsPellinApp isExist=YES");
    EXPECT_EQ(stringWithFormat("%@", Value()), "(null)");
    EXPECT_EQ(stringWithFormat("%@", absent), "(null)");
    EXPECT_EQ(stringWithFormat("%@", Value(std::int64_t{-7})), "-7");
    EXPECT_EQ(stringWithFormat("(%@)", std::string("12")), "(12)");
    EXPECT_EQ(stringWithFormat("%s", "plain"), "plain");
}

TEST(Format, RuntimeFormatsNeverReadAMissingOrMismatchedArgument) {
    EXPECT_EQ(stringWithRuntimeFormat("(%@)", std::string("x")), "(x)");
    EXPECT_EQ(stringWithRuntimeFormat("%@ and %@", std::string("one")), "one and %!@");
    EXPECT_EQ(stringWithRuntimeFormat("%d", std::string("text")), "%!d");
    EXPECT_EQ(stringWithRuntimeFormat("%@", 5), "%!@");
    EXPECT_EQ(stringWithRuntimeFormat("50%", 1), "50%");
    EXPECT_EQ(stringWithRuntimeFormat("%q%", 1), "%q%");
    const char* nothing = nullptr;
    EXPECT_EQ(stringWithRuntimeFormat("%s", nothing), "(null)");
}

namespace {

// The text made later, on another thread, from the arguments as captured now.
template <class... Args>
std::string formattedLater(std::string_view format, const Args&... args) {
    namespace detail = foundation::format_detail;
    const detail::Argument erased[] = {detail::erase(args)..., {}};
    const std::span arguments(erased, sizeof...(Args));
    std::string captured(detail::capturedSize(arguments), '\0');
    detail::capture(arguments, captured.data());
    std::string text;
    detail::appendFormattedCaptured(text, format, captured);
    return text;
}

}  // namespace

TEST(Format, CapturedArgumentsMakeTheSameTextLater) {
    const char* nothing = nullptr;
    const std::optional<Value> absent;
    const std::string_view withNul("a\0b", 3);
    const auto same = [](std::string_view format, const auto&... args) {
        EXPECT_EQ(formattedLater(format, args...), stringWithRuntimeFormat(format, args...))
            << format;
    };
    same("%hd %hhd %d %ld %lu", 32768, true, std::int16_t{-5}, LONG_MIN, ULONG_MAX);
    same("%@ isExist=%@ (%s)", std::string(300, 'p'), "YES", nothing);
    same("%@ %@ %@ %@ (%@)", Value(), absent, Value(std::int64_t{-7}), withNul, Value(""));
    same("%@ and %@, %d of 100%%", std::string("one"));
    same("%d %@ %q", std::string("text"), 5);
    same("none");
}
