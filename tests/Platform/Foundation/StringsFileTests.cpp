#include <PellinFoundation/StringsFile.h>

#include <iconv.h>

#include <random>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TemporaryHome.h"

using foundation::StringsFile;
using foundation::StringsTable;
using ::testing::HasSubstr;

namespace {

StringsTable parsed(std::string_view bytes) {
    std::string whyNot;
    const auto table = StringsFile::parse(bytes, &whyNot);
    EXPECT_TRUE(table.has_value()) << whyNot;
    return table.value_or(StringsTable{});
}

std::string refusal(std::string_view bytes) {
    std::string whyNot;
    const auto table = StringsFile::parse(bytes, &whyNot);
    EXPECT_FALSE(table.has_value()) << "accepted: " << bytes;
    return whyNot;
}

bool isValidUtf8(const std::string& text) {
    iconv_t converter = iconv_open("UTF-32LE", "UTF-8");
    std::string input = text;
    std::string output(text.size() * 4 + 4, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    const bool ok = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    return ok;
}

}  // namespace

TEST(StringsFileEntries, AWellFormedTableLosesNoEntry) {
    const auto table = parsed(
        "/* A block comment\n spanning lines */\n"
        "\"double\" = \"quoted\";  // a line comment\n"
        "'single' = 'quoted';\n"
        "unquoted_key = some.value-1/2:$;\n"
        "\"KeyOnly\";\n"
        "\"mixed\" = 'quotes';\n"
        "  \"spaced\"   =\t\"out\"  ;\n"
        "\"empty\" = \"\";\n");
    EXPECT_EQ(table, (StringsTable{{"double", "quoted"},
                                   {"single", "quoted"},
                                   {"unquoted_key", "some.value-1/2:$"},
                                   {"KeyOnly", "KeyOnly"},
                                   {"mixed", "quotes"},
                                   {"spaced", "out"},
                                   {"empty", ""}}));
}

TEST(StringsFileEntries, AWholeDictionaryInBracesIsReadToo) {
    EXPECT_EQ(parsed("{ \"a\" = \"b\"; c = d; }\n"), (StringsTable{{"a", "b"}, {"c", "d"}}));
}

TEST(StringsFileEntries, ALaterEntryForTheSameKeyWins) {
    EXPECT_EQ(parsed("\"a\" = \"first\"; \"a\" = \"second\";"), (StringsTable{{"a", "second"}}));
}

TEST(StringsFileEntries, AnEmptyOrCommentOnlyFileIsAnEmptyTable) {
    EXPECT_TRUE(parsed("").empty());
    EXPECT_TRUE(parsed("  \n// nothing\n/* at all */\n").empty());
}

TEST(StringsFileEntries, ValuesThatAreNotTextsAreSkippedWithoutLosingTheRest) {
    EXPECT_EQ(parsed("\"list\" = (\"a\", b, (c), {d = e;},);\n"
                     "\"dict\" = { \"x\" = \"y\"; };\n"
                     "\"data\" = <0fbd 7a>;\n"
                     "\"text\" = \"kept\";\n"),
              (StringsTable{{"text", "kept"}}));
}

TEST(StringsFileEscapes, EscapesProduceTheCharactersTheyName) {
    const auto table = parsed(R"("a" = "line\nbreak\ttab \"quote\" \'apostrophe\' back\\slash";)"
                              R"("b" = "\U3042\U00e9";)"
                              R"("c" = "\101\102";)"
                              R"("d" = "\U41x";)"
                              R"("e" = "\z";)");
    EXPECT_EQ(table.at("a"), "line\nbreak\ttab \"quote\" 'apostrophe' back\\slash");
    EXPECT_EQ(table.at("b"), "\u3042\u00e9");
    EXPECT_EQ(table.at("c"), "AB");
    EXPECT_EQ(table.at("d"), "Ax");
    EXPECT_EQ(table.at("e"), "z");
}

TEST(StringsFileEscapes, ASurrogatePairBecomesOneCharacter) {
    EXPECT_EQ(parsed(R"("k" = "\UD83D\UDE00";)").at("k"), "\U0001F600");
}

TEST(StringsFileEscapes, AnUnpairedSurrogateBecomesTheReplacementCharacter) {
    const auto table = parsed(R"("high" = "\UD83Dx"; "low" = "\UDE00"; "two" = "\UD83D\UD83D";)");
    EXPECT_EQ(table.at("high"), "\uFFFDx");
    EXPECT_EQ(table.at("low"), "\uFFFD");
    EXPECT_EQ(table.at("two"), "\uFFFD\uFFFD");
    for (const auto& [key, value] : table) {
        EXPECT_TRUE(isValidUtf8(value)) << key;
    }
}

TEST(StringsFileEncodings, UnicodeFilesWithAByteOrderMarkAreRead) {
    const std::string utf8 = "\xEF\xBB\xBF\"k\" = \"\xE3\x81\x82\";";
    EXPECT_EQ(parsed(utf8).at("k"), "\u3042");

    // "k" = "あ"; in UTF-16, both byte orders.
    const std::string text = "\"k\" = \"X\";";
    std::string le = "\xFF\xFE";
    std::string be = "\xFE\xFF";
    for (const char c : text) {
        const bool hiragana = c == 'X';
        const char low = hiragana ? '\x42' : c;
        const char high = hiragana ? '\x30' : '\0';
        le += low;
        le += high;
        be += high;
        be += low;
    }
    EXPECT_EQ(parsed(le).at("k"), "\u3042");
    EXPECT_EQ(parsed(be).at("k"), "\u3042");
}

TEST(StringsFileEncodings, MalformedBytesAreRefused) {
    EXPECT_THAT(refusal("\"k\" = \"\xC0\xAF\";"), HasSubstr("UTF-8"));          // overlong
    EXPECT_THAT(refusal("\"k\" = \"\xED\xA0\x80\";"), HasSubstr("UTF-8"));      // a surrogate
    EXPECT_THAT(refusal("\"k\" = \"\xF6\xB0\x8E\x8B\";"), HasSubstr("UTF-8"));  // above U+10FFFF
    EXPECT_THAT(refusal("\"k\" = \"\xE3\x81\";"), HasSubstr("UTF-8"));          // cut short
    EXPECT_THAT(refusal(std::string("\xFF\xFE\"\0\x00\xD8", 6)), HasSubstr("UTF-16"));
}

TEST(StringsFileRefusal, ABrokenTableIsRefusedWholeWithItsLine) {
    EXPECT_THAT(refusal("\"a\" = \"b\";\n\"c\" = \"d\"\n\"e\" = \"f\";"),
                HasSubstr("line 3: missing ';'"));
    EXPECT_THAT(refusal("\"a\" = \"b\";\n\"c\" = \"unterminated;\n"),
                HasSubstr("line 2: unterminated quoted string"));
    EXPECT_THAT(refusal("\"a\" = \"b\"; /* open"), HasSubstr("unterminated comment"));
    EXPECT_THAT(refusal("\"a\" \"b\";"), HasSubstr("expected ';' or '='"));
    EXPECT_THAT(refusal("\"a\" = ;"), HasSubstr("unexpected character ';'"));
    EXPECT_THAT(refusal("\"a\" = "), HasSubstr("missing value"));
    EXPECT_THAT(refusal("\"a\""), HasSubstr("missing ';' or '='"));
    EXPECT_THAT(refusal("{ \"a\" = \"b\";"), HasSubstr("missing closing '}'"));
    EXPECT_THAT(refusal("{ \"a\" = \"b\"; } extra"), HasSubstr("after the closing '}'"));
    EXPECT_THAT(refusal("\"a\" = <0f1>;"), HasSubstr("odd number"));
    EXPECT_THAT(refusal("\"a\" = (\"b\" \"c\");"), HasSubstr("expected ',' or ')'"));
    EXPECT_THAT(refusal("= \"b\";"), HasSubstr("unexpected character '='"));
}

TEST(StringsFileRefusal, DeepNestingIsRefusedRatherThanExhaustingTheStack) {
    const std::string deep = "\"a\" = " + std::string(100000, '(');
    EXPECT_THAT(refusal(deep), HasSubstr("nested too deeply"));
}

TEST(StringsFileRefusal, ArbitraryBytesNeverCrashAndNeverYieldInvalidText) {
    std::mt19937 random(20240601);
    const std::string alphabet = "\"'\\=;{}()<>/*\nU0aD8-x \xE3\x81\x82\xFF\xFE\xC0\xF6\xB0";
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        const auto length = random() % 40;
        for (std::size_t i = 0; i < length; ++i) {
            bytes += alphabet[random() % alphabet.size()];
        }
        if (const auto table = StringsFile::parse(bytes)) {
            ++accepted;
            for (const auto& [key, value] : *table) {
                ASSERT_TRUE(isValidUtf8(key) && isValidUtf8(value)) << bytes;
            }
        }
    }
    EXPECT_GT(accepted, 0);
}

TEST(StringsFileRead, AFileIsReadAndAMissingOrUnreadableOneIsRefused) {
    pellin::test::TemporaryHome home;
    const auto file = home.writeFile("en.lproj/Localizable.strings", "\"k\" = \"v\";");
    EXPECT_EQ(StringsFile::read(file), (StringsTable{{"k", "v"}}));

    std::string whyNot;
    EXPECT_FALSE(StringsFile::read(home.path() / "missing.strings", &whyNot));
    EXPECT_FALSE(whyNot.empty());
    EXPECT_FALSE(StringsFile::read(home.path() / "en.lproj", &whyNot));
    EXPECT_FALSE(whyNot.empty());
}
