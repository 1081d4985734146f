// Faults a property-list reader and writer must not have.

#include <PellinFoundation/PropertyList.h>

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <ostream>
#include <string>

#include "TemporaryHome.h"

namespace foundation {
// Failures show values as "%@" would.
void PrintTo(const Value& value, std::ostream* out) {
    *out << value.description();
}
}  // namespace foundation

namespace {

using foundation::Array;
using foundation::Data;
using foundation::Date;
using foundation::Dictionary;
using foundation::PropertyListSerialization;
using foundation::Value;

std::string xmlDocument(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
           "\n</plist>\n";
}

std::optional<Value> roundTrip(const Value& value) {
    const std::optional<std::string> xml =
        PropertyListSerialization::xmlDataWithPropertyList(value);
    if (!xml) {
        return std::nullopt;
    }
    return PropertyListSerialization::propertyListWithData(*xml);
}

std::string binaryFromTree(plist_t root) {
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    std::string out(bytes, length);
    std::free(bytes);
    plist_free(root);
    return out;
}

// libplist's own binary writer, from XML that libplist reads itself (whole-second dates keep
// their full range in that direction).
std::string binaryFromXml(const std::string& xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
    return binaryFromTree(root);
}

// Big-endian, `width` bytes.
std::string bigEndian(std::uint64_t v, int width) {
    std::string out;
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) {
        out += static_cast<char>((v >> shift) & 0xff);
    }
    return out;
}

// A binary list assembled by hand: `objects` in order, offsets and references `width` bytes.
std::string handMadeBinary(const std::vector<std::string>& objects, std::uint8_t top = 0,
                           int width = 1) {
    std::string out = "bplist00";
    std::string table;
    for (const std::string& object : objects) {
        table += bigEndian(out.size(), width);
        out += object;
    }
    const auto tableOffset = out.size();
    out += table;
    out += std::string(6, '\0') + static_cast<char>(width) + static_cast<char>(width);
    return out + bigEndian(objects.size(), 8) + bigEndian(top, 8) + bigEndian(tableOffset, 8);
}

Date dateOf(int year, int month, int day, double secondOfDay) {
    // Days from civil, for the test's own expectations.
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = static_cast<long>(era) * 146097 + doe - 719468;
    return Date{static_cast<double>(days) * 86400.0 + secondOfDay};
}

TEST(PropertyListValuesSurviveARoundTrip, EveryKind) {
    const Dictionary dictionary{
        {"bool", Value(true)},
        {"false", Value(false)},
        {"int", Value(42)},
        {"real", Value(0.1)},
        {"text", Value("h\xc3\xa9llo <&> \"quoted\"")},
        {"data", Value(Data{0, 1, 2, 255})},
        {"date", Value(dateOf(2024, 3, 5, 9 * 3600 + 5 * 60 + 3))},
        {"list", Value(Array{Value(1), Value("two"), Value(Array{})})},
        {"nested", Value(Dictionary{{"a<b", Value("c&d")}, {"empty", Value(Dictionary{})}})},
        {"", Value("empty key")},
    };
    const std::optional<Value> back = roundTrip(Value(dictionary));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, Value(dictionary));
}

TEST(PropertyListValuesSurviveARoundTrip, NotANumber) {
    const std::optional<Value> nan = roundTrip(Value(std::numeric_limits<double>::quiet_NaN()));
    ASSERT_TRUE(nan.has_value());
    ASSERT_NE(nan->real(), nullptr);
    EXPECT_TRUE(std::isnan(*nan->real()));
}

TEST(PropertyListValuesSurviveARoundTrip, TextsWithBlanksLineEndsAndMarkup) {
    for (const std::string& text : {std::string("tab\there\r\nline\rcarriage"),
                                    std::string("]]> <![CDATA[ <!-- &amp; --> <date>"),
                                    std::string("  leading and trailing  "),
                                    std::string("\xe6\x97\xa5\xf0\x9f\x98\x80"), std::string()}) {
        const std::optional<Value> back = roundTrip(Value(Dictionary{{text, Value(text)}}));
        ASSERT_TRUE(back.has_value()) << text;
        EXPECT_EQ(*back, Value(Dictionary{{text, Value(text)}})) << text;
    }
}

TEST(PropertyListValuesSurviveARoundTrip, RootsOtherThanADictionary) {
    for (const Value& value : {Value("text"), Value(7), Value(Array{Value(true)}), Value(2.5)}) {
        const std::optional<Value> back = roundTrip(value);
        ASSERT_TRUE(back.has_value()) << value.description();
        EXPECT_EQ(*back, value);
    }
}

TEST(PropertyListValuesSurviveARoundTrip, RealsKeepEveryDigitAndTheirKind) {
    for (const double d :
         {0.1, -2.5, 1e300, 5e-324, 3.0, -1e20, 123456789.123456789,
          std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        const std::optional<Value> back = roundTrip(Value(d));
        ASSERT_TRUE(back.has_value());
        ASSERT_NE(back->real(), nullptr) << d;
        EXPECT_EQ(*back->real(), d);
    }
}

TEST(PropertyListValuesSurviveARoundTrip, RealsReadTheSameUnderACommaLocale) {
    const pellin::test::TemporaryHome home;
    const std::filesystem::path locales = home.path() / "locales";
    std::filesystem::create_directories(locales);
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (locales / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        GTEST_SKIP() << "no German locale can be made here";
    }
    setenv("LOCPATH", locales.c_str(), 1);
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        unsetenv("LOCPATH");
        GTEST_SKIP() << "the German locale does not load";
    }
    const auto read =
        PropertyListSerialization::propertyListWithData(xmlDocument("<real>1.5</real>"));
    const auto written = PropertyListSerialization::xmlDataWithPropertyList(Value(2.25));
    std::setlocale(LC_NUMERIC, previous.c_str());
    unsetenv("LOCPATH");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, Value(1.5));
    ASSERT_TRUE(written.has_value());
    EXPECT_NE(written->find("<real>2.25</real>"), std::string::npos) << *written;
}

TEST(PropertyListIntegersKeepTheirSign, NegativeNumbers) {
    for (const std::int64_t i :
         {std::int64_t{-1}, std::int64_t{-5}, std::numeric_limits<std::int64_t>::min(),
          std::numeric_limits<std::int64_t>::max()}) {
        const std::optional<Value> back = roundTrip(Value(i));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, Value(i));
    }
    const auto read =
        PropertyListSerialization::propertyListWithData(xmlDocument("<integer>-5</integer>"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, Value(-5));
}

TEST(PropertyListIntegersKeepTheirSign, UnsignedAboveTheSignedRangeStaysAnInteger) {
    const std::string xml = xmlDocument(
        "<array><integer>-5</integer><integer>9223372036854775808</integer>"
        "<integer>18446744073709551615</integer></array>");
    const Value expected(Array{Value(-5), Value(std::uint64_t{9223372036854775808u}),
                               Value(std::numeric_limits<std::uint64_t>::max())});
    for (const std::string& input : {xml, binaryFromXml(xml)}) {
        const auto read = PropertyListSerialization::propertyListWithData(input);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, expected);
        EXPECT_EQ(roundTrip(*read), std::optional<Value>(expected));
    }
    EXPECT_EQ(expected.array()->at(2).description(), "18446744073709551615");
}

// The reason for the date handling: libplist 2.2 hands out dates as 32-bit seconds since
// 2001, so 1900 and 2100 come back clipped, and XML fractions are dropped on reading.
TEST(PropertyListDatesAreNotClipped, LibplistAloneClipsThem) {
    const std::string xml = xmlDocument(
        "<array><date>1900-01-01T00:00:00Z</date>"
        "<date>2100-01-01T00:00:00Z</date>"
        "<date>2024-03-05T09:05:03.25Z</date></array>");
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
    ASSERT_NE(root, nullptr);
    const double expected[] = {dateOf(1900, 1, 1, 0).timeIntervalSinceReferenceDate(),
                               dateOf(2100, 1, 1, 0).timeIntervalSinceReferenceDate(),
                               dateOf(2024, 3, 5, 32703.25).timeIntervalSinceReferenceDate()};
    int differing = 0;
    for (std::uint32_t i = 0; i < 3; ++i) {
        std::int32_t seconds = 0;
        std::int32_t microseconds = 0;
        plist_get_date_val(plist_array_get_item(root, i), &seconds, &microseconds);
        differing += seconds + microseconds / 1e6 != expected[i] ? 1 : 0;
    }
    plist_free(root);
    EXPECT_EQ(differing, 3) << "libplist now keeps dates whole: the workaround may go";
}

TEST(PropertyListDatesAreNotClipped, FractionsAndFarYearsInXml) {
    const Date fraction = dateOf(2024, 3, 5, 32703.25);
    const Date early = dateOf(1900, 1, 1, 0);
    const Date late = dateOf(2100, 1, 1, 0.5);
    const auto read = PropertyListSerialization::propertyListWithData(
        xmlDocument("<array><date>2024-03-05T09:05:03.25Z</date>"
                    "<date>1900-01-01T00:00:00Z</date>"
                    "<date> 2100-01-01T00:00:00.5Z </date></array>"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, Value(Array{Value(fraction), Value(early), Value(late)}));
}

TEST(PropertyListDatesAreNotClipped, WrittenAndReadBack) {
    for (const Date date : {dateOf(1900, 1, 1, 0), dateOf(2100, 12, 31, 86399.999),
                            dateOf(1, 1, 1, 0), dateOf(9999, 12, 31, 1.5), dateOf(-44, 3, 15, 0),
                            Date{0.1}, Date{-0.25}, Date{1e-7}, Date{1709629503.123456789},
                            Date::fromReferenceDate(0.0), Date::fromReferenceDate(-0.5)}) {
        const std::optional<Value> back = roundTrip(Value(Dictionary{{"when", Value(date)}}));
        ASSERT_TRUE(back.has_value()) << date.timeIntervalSince1970;
        EXPECT_EQ(*back, Value(Dictionary{{"when", Value(date)}})) << date.timeIntervalSince1970;
    }
}

TEST(PropertyListDatesAreNotClipped, WholeSecondsInTheUsualForm) {
    const auto xml = PropertyListSerialization::xmlDataWithPropertyList(
        Value(Array{Value(dateOf(2024, 3, 5, 32703)), Value(dateOf(1900, 1, 1, 0.5))}));
    ASSERT_TRUE(xml.has_value());
    EXPECT_NE(xml->find("<date>2024-03-05T09:05:03Z</date>"), std::string::npos) << *xml;
    EXPECT_NE(xml->find("<date>1900-01-01T00:00:00.5Z</date>"), std::string::npos) << *xml;
}

TEST(PropertyListDatesAreNotClipped, InABinaryList) {
    plist_t root = plist_new_array();
    plist_array_append_item(root, plist_new_date(5, 250000));
    const auto fraction = PropertyListSerialization::propertyListWithData(binaryFromTree(root));
    ASSERT_TRUE(fraction.has_value());
    EXPECT_EQ(*fraction, Value(Array{Value(Date::fromReferenceDate(5.25))}));

    const auto far = PropertyListSerialization::propertyListWithData(binaryFromXml(
        xmlDocument("<array><date>1900-01-01T00:00:00Z</date><date>2100-01-01T00:00:00Z</date>"
                    "</array>")));
    ASSERT_TRUE(far.has_value());
    EXPECT_EQ(*far, Value(Array{Value(dateOf(1900, 1, 1, 0)), Value(dateOf(2100, 1, 1, 0))}));
}

TEST(PropertyListDatesAreNotClipped, ADateWithoutATimeHasNoPropertyListForm) {
    for (const double t : {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(), 1e300}) {
        EXPECT_FALSE(
            PropertyListSerialization::xmlDataWithPropertyList(Value(Date{t})).has_value());
    }
}

TEST(PropertyListBinaryIsRead, TextsNumbersAndStructure) {
    const std::string xml = xmlDocument(
        "<dict><key>ascii</key><string>plain</string>"
        "<key>unicode</key><string>\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80</string>"
        "<key>list</key><array><true/><false/><real>2.5</real><data>AQID</data></array>"
        "<key>shared</key><string>plain</string></dict>");
    const auto fromBinary = PropertyListSerialization::propertyListWithData(binaryFromXml(xml));
    const auto fromXml = PropertyListSerialization::propertyListWithData(xml);
    ASSERT_TRUE(fromBinary.has_value());
    ASSERT_TRUE(fromXml.has_value());
    EXPECT_EQ(*fromBinary, *fromXml);
    EXPECT_EQ(fromBinary->dictionary()->at("unicode"),
              Value("\xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80"));
}

TEST(PropertyListBinaryIsRead, FromAFile) {
    const pellin::test::TemporaryHome home;
    const auto path = home.writeFile(
        "list.plist", binaryFromXml(xmlDocument("<dict><key>k</key><integer>3</integer></dict>")));
    const auto read = PropertyListSerialization::propertyListWithContentsOfFile(path.string());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, Value(Dictionary{{"k", Value(3)}}));
    EXPECT_FALSE(PropertyListSerialization::propertyListWithContentsOfFile(
                     (home.path() / "missing").string())
                     .has_value());
}

TEST(PropertyListMalformedInputGivesNothing, XmlThatIsNotAPropertyList) {
    for (const std::string& input :
         {std::string(),
          std::string("not a plist"),
          std::string("\x00\x01\x02", 3),
          xmlDocument("<dict><key>a</key>"),
          xmlDocument("<date>yesterday</date>"),
          xmlDocument("<date>2024-02-30T00:00:00Z</date>"),
          xmlDocument("<date/>"),
          xmlDocument("<array><date>2024-01-01T00:00:00Z</array>"),
          std::string("<plist><!-- open"),
          std::string("<plist version=\"1.0\"><integer>1</integer"),
          std::string("<"),
          xmlDocument("<integer>1</integer><integer>2</integer>"),
          xmlDocument("stray<true/>"),
          xmlDocument("<dict><key>a</key></dict>"),
          xmlDocument("<dict><string>a</string></dict>"),
          xmlDocument("<integer>twelve</integer>"),
          xmlDocument("<real>1,5</real>"),
          xmlDocument("<data>!!!!</data>"),
          xmlDocument("<true>yes</true>"),
          xmlDocument("<unknown/>"),
          xmlDocument("<string><string/></string>"),
          xmlDocument("<integer>99999999999999999999</integer>"),
          std::string(
              "<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaa\">"
              "<!ENTITY b "
              "\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]><plist><string>&b;</string></plist>")}) {
        EXPECT_FALSE(PropertyListSerialization::propertyListWithData(input).has_value()) << input;
    }
}

TEST(PropertyListXmlIsReadAsXml, CommentsCdataAndCharacterReferences) {
    const auto read = PropertyListSerialization::propertyListWithData(
        xmlDocument("<!-- <date>junk</date> --><array><string><![CDATA[<date>x</date>]]></string>"
                    "<date>2001-01-01T00:00:01Z</date><string>&lt;&#x41;&#66;&amp;&quot;</string>"
                    "<string/><dict/><array/><integer> 0x10 </integer><real>+1.5e2</real>"
                    "</array>"));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, Value(Array{Value("<date>x</date>"), Value(Date::fromReferenceDate(1.0)),
                                 Value("<AB&\""), Value(""), Value(Dictionary{}), Value(Array{}),
                                 Value(16), Value(150.0)}));
}

TEST(PropertyListXmlIsReadAsXml, WithoutThePlistElementAndInUtf16) {
    const auto bare =
        PropertyListSerialization::propertyListWithData("<dict><key>k</key><true/></dict>");
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(*bare, Value(Dictionary{{"k", Value(true)}}));

    const std::string ascii =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist><string>x</string></plist>";
    std::string utf16 = "\xff\xfe";  // little-endian byte order mark
    for (const char c : ascii) {
        utf16 += c;
        utf16 += '\0';
    }
    const auto wide = PropertyListSerialization::propertyListWithData(utf16);
    ASSERT_TRUE(wide.has_value());
    EXPECT_EQ(*wide, Value("x"));
}

TEST(PropertyListMalformedInputGivesNothing, DeepNesting) {
    std::string deepXml;
    for (int i = 0; i < 100000; ++i) {
        deepXml += "<array>";
    }
    for (int i = 0; i < 100000; ++i) {
        deepXml += "</array>";
    }
    EXPECT_FALSE(PropertyListSerialization::propertyListWithData(xmlDocument(deepXml)).has_value());

    // 100,000 lists, each holding the next: libplist's own reader overflows the stack.
    const std::uint32_t count = 100000;
    std::vector<std::string> lists(count, "\x08");
    for (std::uint32_t i = 0; i + 1 < count; ++i) {
        lists[i] = '\xa1' + bigEndian(i + 1, 3);
    }
    EXPECT_FALSE(
        PropertyListSerialization::propertyListWithData(handMadeBinary(lists, 0, 3)).has_value());

    Value deep = Value(1);
    for (std::size_t i = 0; i <= PropertyListSerialization::kMaximumDepth; ++i) {
        deep = Value(Array{deep});
    }
    EXPECT_FALSE(PropertyListSerialization::xmlDataWithPropertyList(deep).has_value());
}

TEST(PropertyListMalformedInputGivesNothing, BinaryReferencesThatExplodeOrLoop) {
    // Object i is a list holding object i + 1 twice: 2^40 nodes from 130 bytes.
    std::vector<std::string> objects;
    for (int i = 0; i < 40; ++i) {
        objects.push_back(std::string{'\xa2', static_cast<char>(i + 1), static_cast<char>(i + 1)});
    }
    objects.push_back("\x09");
    EXPECT_FALSE(
        PropertyListSerialization::propertyListWithData(handMadeBinary(objects)).has_value());

    // A list that holds itself.
    EXPECT_FALSE(PropertyListSerialization::propertyListWithData(
                     handMadeBinary({std::string{'\xa1', '\x00'}}))
                     .has_value());

    // A reference past the last object, a truncated trailer, an offset inside the trailer.
    EXPECT_FALSE(PropertyListSerialization::propertyListWithData(
                     handMadeBinary({std::string{'\xa1', '\x05'}}))
                     .has_value());
    const std::string valid = handMadeBinary({std::string{'\xa1', '\x01'}, "\x09"});
    ASSERT_TRUE(PropertyListSerialization::propertyListWithData(valid).has_value());
    EXPECT_FALSE(PropertyListSerialization::propertyListWithData(valid.substr(0, valid.size() - 1))
                     .has_value());
    std::string badOffset = valid;
    badOffset[valid.size() - 32 - 2] = '\x7f';
    EXPECT_FALSE(PropertyListSerialization::propertyListWithData(badOffset).has_value());
}

TEST(PropertyListMalformedInputGivesNothing, EveryTruncationAndByteFlipOfAValidList) {
    const std::string xml = xmlDocument(
        "<dict><key>d</key><date>2024-03-05T09:05:03.25Z</date><key>a</key><array><integer>-1"
        "</integer><string>x</string><data>AQID</data></array></dict>");
    const std::string binary = binaryFromXml(xml);
    int read = 0;
    for (const std::string& input : {xml, binary}) {
        for (std::size_t cut = 0; cut < input.size(); ++cut) {
            read +=
                PropertyListSerialization::propertyListWithData(input.substr(0, cut)).has_value();
            for (const char flip : {'\x00', '\xff', '<', '\x0f'}) {
                std::string changed = input;
                changed[cut] = flip;
                read += PropertyListSerialization::propertyListWithData(changed).has_value();
            }
        }
    }
    EXPECT_GT(read, 0);  // what matters is that nothing above crashed
}

TEST(PropertyListMalformedInputGivesNothing, BinaryDictionaryKeysThatAreNotPlainTexts) {
    // libplist ends the process on these (found by fuzzing), so they must never reach it.
    const std::string dictionary{'\xd1', '\x01', '\x02'};
    const std::string yes = "\x09";
    const auto withKey = [&](const std::string& key) {
        return PropertyListSerialization::propertyListWithData(
            handMadeBinary({dictionary, key, yes}));
    };
    const auto plain =
        withKey(std::string("\x52"
                            "ab",
                            3));
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(*plain, Value(Dictionary{{"ab", Value(true)}}));
    EXPECT_FALSE(withKey(std::string("\x53"
                                     "a\0b",
                                     4))
                     .has_value());
    EXPECT_FALSE(withKey(std::string("\x61\0\0", 3)).has_value());  // UTF-16 NUL
    EXPECT_FALSE(withKey(std::string("\x10\x07", 2)).has_value());  // an integer as key
}

TEST(PropertyListWritesWhatItCan, EntriesOfNoValueAreLeftOut) {
    const std::optional<Value> back = roundTrip(Value(Dictionary{
        {"kept", Value(1)}, {"gone", Value()}, {"list", Value(Array{Value(), Value(2)})}}));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, Value(Dictionary{{"kept", Value(1)}, {"list", Value(Array{Value(2)})}}));
    EXPECT_FALSE(PropertyListSerialization::xmlDataWithPropertyList(Value()).has_value());
}

TEST(PropertyListWritesWhatItCan, TextsXmlCannotCarryAreRefusedNotCut) {
    for (const std::string& text :
         {std::string("a\0b", 3), std::string("bell\x07"), std::string("broken \xc3"),
          std::string("\xef\xbf\xbe"), std::string("\xed\xa0\x80")}) {
        EXPECT_FALSE(PropertyListSerialization::xmlDataWithPropertyList(Value(text)).has_value());
        EXPECT_FALSE(
            PropertyListSerialization::xmlDataWithPropertyList(Value(Dictionary{{text, Value(1)}}))
                .has_value());
    }
}

TEST(PropertyListWritesWhatItCan, WhatABinaryListHoldsCanBeWrittenBack) {
    // An "ASCII" text object holding a bell and a broken UTF-8 byte.
    const auto read =
        PropertyListSerialization::propertyListWithData(handMadeBinary({std::string("\x53"
                                                                                    "a\x07\xc3",
                                                                                    4)}));
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, Value("a\xef\xbf\xbd\xef\xbf\xbd"));
    EXPECT_TRUE(PropertyListSerialization::xmlDataWithPropertyList(*read).has_value());
}

}  // namespace
