// Faults a property-list reader and writer must not have. Inputs that must be refused are files
// of the fuzz corpus named "refused-*"; the fuzz target itself replays the whole corpus.
#include <PellinFoundation/PropertyList.h>

#include <PellinFoundation/StringsFile.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "SettingsTesting.h"
#include "TemporaryHome.h"
#include "TestCases.h"

namespace {

using namespace foundation;
using PLS = PropertyListSerialization;
using pellin::test::binaryFromXml;

std::string xmlDocument(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + body +
           "\n</plist>\n";
}

TEST(PropertyListValuesSurviveARoundTrip, RealsReadTheSameUnderACommaLocale) {
    const pellin::test::TemporaryHome home;
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + home.path().string() + "/de_DE.UTF-8' >/dev/null 2>&1";
    setenv("LOCPATH", home.path().c_str(), 1);
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (std::system(command.c_str()) != 0 || !std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        unsetenv("LOCPATH");
        GTEST_SKIP() << "no German locale can be made here";
    }
    const auto read = PLS::propertyListWithData(xmlDocument("<real>1.5</real>"));
    const auto written = PLS::xmlDataWithPropertyList(Value(2.25));
    std::setlocale(LC_NUMERIC, previous.c_str());
    unsetenv("LOCPATH");
    EXPECT_EQ(read, std::optional<Value>(Value(1.5)));
    EXPECT_NE(written.value_or("").find("<real>2.25</real>"), std::string::npos);
}

// Rows of property-list-readings.tsv: what is read must be written back as the table says. The
// binary lists are read from a file, which is read whole.
TEST(PropertyListReading, TheInputsOfTheTableAreWrittenBackAsTheTableSays) {
    const pellin::test::TemporaryHome home;
    EXPECT_FALSE(PLS::propertyListWithContentsOfFile((home.path() / "missing").string()));
    for (const auto& row : pellin::test::casesIn("property-list-readings.tsv")) {
        const std::string body = pellin::test::unescaped(row.at(1));
        const auto read =
            row.at(0) == "binary"
                ? PLS::propertyListWithContentsOfFile(
                      home.writeFile("list.plist", binaryFromXml(xmlDocument(body))).string())
                : PLS::propertyListWithData(row[0] == "raw" ? body : xmlDocument(body));
        const std::string written = read ? PLS::xmlDataWithPropertyList(*read).value_or("") : "";
        const std::string expected = pellin::test::unescaped(row.at(2));
        EXPECT_NE(written.find("<plist version=\"1.0\">\n" + expected + "\n</plist>"),
                  std::string::npos)
            << row[0] << " " << row[1] << "\n"
            << written;
    }
}

// The fuzz corpora's files named "refused-*" must be refused, those named "accepted-*" read.
TEST(PropertyListMalformedInputGivesNothing, EveryRefusedCaseOfTheCorpora) {
    int refused = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(FOUNDATION_CORPUS)) {
        const std::string name = entry.path().filename().string();
        const std::string bytes = pellin::test::readFile(entry.path());
        const bool read = entry.path().parent_path().filename() == "strings"
                              ? StringsFile::parse(bytes).has_value()
                              : PLS::propertyListWithData(bytes).has_value();
        EXPECT_TRUE(name.starts_with("refused-") ? !read : read || !name.starts_with("accepted-"))
            << name;
        refused += name.starts_with("refused-");
    }
    EXPECT_GT(refused, 40);
}

TEST(PropertyListWritesWhatItCan, NoValueIsLeftOutAndWhatXmlCannotCarryIsRefused) {
    const auto xml = PLS::xmlDataWithPropertyList(Value(Dictionary{
        {"kept", Value(1)}, {"gone", Value()}, {"list", Value(Array{Value(), Value(2)})}}));
    EXPECT_EQ(PLS::propertyListWithData(xml.value_or("")),
              std::optional<Value>(
                  Value(Dictionary{{"kept", Value(1)}, {"list", Value(Array{Value(2)})}})));
    EXPECT_FALSE(PLS::xmlDataWithPropertyList(Value()));
    for (const std::string& text :
         {std::string("a\0b", 3), std::string("bell\x07"), std::string("broken \xc3"),
          std::string("\xef\xbf\xbe"), std::string("\xed\xa0\x80")}) {
        EXPECT_FALSE(PLS::xmlDataWithPropertyList(Value(text)));
        EXPECT_FALSE(PLS::xmlDataWithPropertyList(Value(Dictionary{{text, Value(1)}})));
    }
    // Dates XML cannot carry; the last is in the year 10000.
    for (const double t :
         {std::nan(""), std::numeric_limits<double>::infinity(), 1e300, 253402300800.0}) {
        EXPECT_FALSE(PLS::xmlDataWithPropertyList(Value(Date{t})));
    }
    // Too deep to write, as too deep to read (the corpus's "refused-nested-too-deeply" files).
    Value nested = Value(1);
    for (std::size_t i = 0; i <= PLS::kMaximumDepth; ++i) {
        nested = Value(Array{nested});
    }
    EXPECT_FALSE(PLS::xmlDataWithPropertyList(nested));
}

}  // namespace
