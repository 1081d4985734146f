// Faults of the string tables and of the bundles that choose and read them.
#include <PellinFoundation/Bundle.h>
#include <PellinFoundation/StringsFile.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ScopedEnvironment.h"
#include "TemporaryHome.h"
#include "TestCases.h"

using foundation::Bundle;
using foundation::StringsFile;
using foundation::StringsTable;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

StringsTable parsed(std::string_view bytes) {
    std::string whyNot;
    const auto table = StringsFile::parse(bytes, &whyNot);
    EXPECT_TRUE(table.has_value()) << whyNot;
    return table.value_or(StringsTable{});
}

TEST(StringsFile, AWellFormedTableLosesNoEntryAndEscapesNameTheirCharacters) {
    for (const auto& row : pellin::test::casesIn("strings-files.tsv")) {
        std::string entries;
        for (const auto& [key, text] : parsed(pellin::test::unescaped(row.at(0)))) {
            entries += (entries.empty() ? "" : " | ") + key + " = " + text;
        }
        EXPECT_EQ(entries, pellin::test::unescaped(row.at(1))) << row[0];
    }
}

// The broken tables are the fuzz corpus's "refused-*" files; a broken table's reason names its
// line (BundleLookup); tables that are read are the bundles' (BundleLookup).
TEST(StringsFile, AFileThatCannotBeReadIsRefusedWithItsReason) {
    const pellin::test::TemporaryHome home;
    for (const fs::path& path : {home.path() / "missing.strings", home.path()}) {
        std::string whyNot;
        EXPECT_FALSE(StringsFile::read(path, &whyNot));
        EXPECT_FALSE(whyNot.empty());
    }
}

// In gettext's order; LANGUAGE does not override a locale that asks for untranslated texts.
TEST(BundleLanguage, TheLocaleVariablesChooseTheLanguageInTheirOrder) {
    for (const auto& row : pellin::test::casesIn("bundle-languages.tsv")) {
        pellin::test::ScopedEnvironment env;
        std::size_t field = 0;
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const std::string& value = row.at(field++);
            value.empty() ? env.unset(name) : env.set(name, value);
        }
        std::string chosen;
        for (const std::string& language : Bundle::preferredLocalizations()) {
            chosen += (chosen.empty() ? "" : " ") + language;
        }
        EXPECT_EQ(chosen, row.at(4)) << row[0] << "|" << row[1] << "|" << row[2] << "|" << row[3];
    }
}

TEST(BundleLookup, TheChosenLanguageThenEnglishThenTheKeyAnswer) {
    const pellin::test::TemporaryHome home;
    Bundle bundle(PELLIN_SOURCE_DIR "/tests/data/bundle/Resources");  // its German table is broken
    pellin::test::ScopedEnvironment env;
    const auto orNil = [](const std::string& field) {
        return field == "(nil)" ? foundation::NullableString() : field;
    };
    for (const auto& row : pellin::test::casesIn("bundle-lookups.tsv")) {
        env.language(row.at(0));
        EXPECT_EQ(
            bundle.localizedStringForKey(orNil(row.at(1)), orNil(row.at(2)), orNil(row.at(3))),
            row.at(4))
            << row[0] << " " << row[1];
    }
    EXPECT_EQ(Bundle("/nonexistent").localizedStringForKey("Key", "", nullptr), "Key");

    env.language("de_DE.UTF-8");  // a broken table: ignored with one warning
    testing::internal::CaptureStderr();
    EXPECT_EQ(bundle.localizedStringForKey("Greeting", "", nullptr), "Hello");
    EXPECT_EQ(bundle.localizedStringForKey("Greeting", "", nullptr), "Hello");
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_THAT(warnings, HasSubstr("de.lproj/Localizable.strings is ignored"));
    EXPECT_THAT(warnings, HasSubstr("line 2: missing ';'"));
    EXPECT_EQ(warnings.find("ignored"), warnings.rfind("ignored")) << "warned more than once";
}

TEST(BundleLocation, ABinaryFindsItsBundleInTheBuildTreeAndInAnInstalledPrefix) {
    pellin::test::TemporaryHome home;
    const fs::path root = home.path();
    for (const char* name : {"build", "prefix"}) {
        fs::create_directories(root / name / "share/pellin/PellinUninstaller/Resources");
        fs::create_directories(root / name / "share/pellin/PellinCommonFramework/Resources");
    }
    // A merged-/usr system: the loader finds the libraries in /lib, a link to /usr/lib.
    fs::create_directories(root / "usr/lib/x86_64-linux-gnu");
    fs::create_directories(root / "usr/share/pellin/PellinAppKit/Resources");
    fs::create_directory_symlink("usr/lib", root / "lib");
    for (const auto& row : pellin::test::casesIn("bundle-locations.tsv")) {
        EXPECT_EQ(Bundle::resourcePathForBinary(root / row.at(0)), root / row.at(1) / "Resources");
    }

    const fs::path own = Bundle::mainBundle()->resourcePath();
    EXPECT_EQ(own, (pellin::test::buildDirectory() / "share/pellin/FoundationTests/Resources")
                       .lexically_normal());
    const auto replacement = Bundle::bundleWithPath("/a/b/Resources");
    EXPECT_EQ(replacement, Bundle::bundleWithPath("/a/b/../b/Resources"));
    EXPECT_NE(replacement, Bundle::bundleWithPath("/a/c/Resources"));
    Bundle::setMainBundle(replacement);
    EXPECT_EQ(Bundle::mainBundle(), replacement);
    Bundle::setMainBundle(nullptr);
    EXPECT_EQ(Bundle::mainBundle()->resourcePath(), own);
    static const int inThisProgram = 0;
    EXPECT_EQ(Bundle::bundleForAddress(&inThisProgram), Bundle::mainBundle());
    EXPECT_EQ(
        Bundle::bundleForAddress(reinterpret_cast<const void*>(&Bundle::preferredLocalizations))
            ->resourcePath(),
        (pellin::test::buildDirectory() / "share/pellin/PellinFoundation/Resources")
            .lexically_normal());
}

}  // namespace
