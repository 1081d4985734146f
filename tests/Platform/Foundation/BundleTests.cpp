#include <PellinFoundation/Bundle.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ScopedEnvironment.h"
#include "TemporaryHome.h"

using foundation::Bundle;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace fs = std::filesystem;

namespace {

// A bundle in a fresh folder: English has every key, Japanese lacks "OnlyEnglish", German
// has a broken table.
struct SampleBundle {
    pellin::test::TemporaryHome home;
    std::shared_ptr<Bundle> bundle;

    SampleBundle() {
        home.writeFile("Resources/en.lproj/Localizable.strings",
                       "\"Greeting\" = \"Hello\";\n\"OnlyEnglish\" = \"English only\";\n"
                       "\"Empty\" = \"\";\n");
        home.writeFile("Resources/ja.lproj/Localizable.strings",
                       "\"Greeting\" = \"\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81"
                       "\xAF\";\n");
        home.writeFile("Resources/de.lproj/Localizable.strings", "\"Greeting\" = \"Hallo\"\n");
        home.writeFile("Resources/en.lproj/Other.strings", "\"Greeting\" = \"Hi\";\n");
        bundle = std::make_shared<Bundle>(home.path() / "Resources");
    }
};

const std::string kJapaneseGreeting = "\u3053\u3093\u306B\u3061\u306F";

}  // namespace

TEST(BundleLanguage, TheLocaleVariablesChooseTheLanguageInTheirOrder) {
    pellin::test::ScopedEnvironment env;
    env.language("ja_JP.UTF-8");
    EXPECT_THAT(Bundle::preferredLocalizations(),
                ElementsAre("ja_JP", "ja-JP", "ja", "en", "Base"));
    env.set("LC_MESSAGES", "pt_BR.UTF-8@latin");
    EXPECT_THAT(Bundle::preferredLocalizations(),
                ElementsAre("pt_BR", "pt-BR", "pt", "en", "Base"));
    env.set("LC_ALL", "de_DE");
    EXPECT_THAT(Bundle::preferredLocalizations(),
                ElementsAre("de_DE", "de-DE", "de", "en", "Base"));
    env.set("LANGUAGE", "fr:ja");
    EXPECT_THAT(Bundle::preferredLocalizations(),
                ElementsAre("fr", "ja", "de_DE", "de-DE", "de", "en", "Base"));
}

TEST(BundleLanguage, NoLocaleAndTheCLocaleMeanEnglish) {
    pellin::test::ScopedEnvironment env;
    env.language("");
    env.unset("LANG");
    EXPECT_THAT(Bundle::preferredLocalizations(), ElementsAre("en", "Base"));
    for (const char* locale : {"C", "C.UTF-8"}) {
        env.language(locale);
        EXPECT_THAT(Bundle::preferredLocalizations(), ElementsAre("en", "Base")) << locale;
    }
    // As with gettext, LANGUAGE does not override a locale that asks for untranslated texts.
    env.set("LANGUAGE", "ja").set("LC_ALL", "POSIX");
    EXPECT_THAT(Bundle::preferredLocalizations(), ElementsAre("en", "Base"));
}

TEST(BundleLanguage, ALanguageNameCannotLeadOutOfTheResourceFolder) {
    pellin::test::ScopedEnvironment env;
    env.language("en_US").set("LANGUAGE", "../../etc/x:..:ja");
    EXPECT_THAT(Bundle::preferredLocalizations(),
                ElementsAre("ja", "en_US", "en-US", "en", "Base"));
}

TEST(BundleLookup, TheChosenLanguageGivesItsTextsAndAnUnknownOneOrCGivesEnglish) {
    SampleBundle sample;
    pellin::test::ScopedEnvironment env;
    const std::pair<const char*, std::string> cases[] = {{"ja_JP.UTF-8", kJapaneseGreeting},
                                                         {"en_GB.UTF-8", "Hello"},
                                                         {"xx_YY.UTF-8", "Hello"},
                                                         {"C", "Hello"}};
    for (const auto& [language, greeting] : cases) {
        env.language(language);
        EXPECT_EQ(sample.bundle->localizedStringForKey("Greeting", "", nullptr), greeting)
            << language;
    }
}

TEST(BundleLookup, AKeyTheLanguageLacksComesFromEnglishThenIsTheKeyItself) {
    SampleBundle sample;
    pellin::test::ScopedEnvironment env;
    env.language("ja_JP.UTF-8");
    EXPECT_EQ(sample.bundle->localizedStringForKey("OnlyEnglish", "", nullptr), "English only");
    EXPECT_EQ(sample.bundle->localizedStringForKey("Nowhere", "", nullptr), "Nowhere");
    EXPECT_EQ(sample.bundle->localizedStringForKey("Nowhere", nullptr, nullptr), "Nowhere");
    EXPECT_EQ(sample.bundle->localizedStringForKey("Nowhere", "Fallback", nullptr), "Fallback");
    EXPECT_EQ(sample.bundle->localizedStringForKey("Empty", "Fallback", nullptr), "");
}

TEST(BundleLookup, ANilKeyGivesTheValueOrTheEmptyText) {
    SampleBundle sample;
    EXPECT_EQ(sample.bundle->localizedStringForKey(nullptr, "", nullptr), "");
    EXPECT_EQ(sample.bundle->localizedStringForKey(nullptr, nullptr, nullptr), "");
    EXPECT_EQ(sample.bundle->localizedStringForKey(std::nullopt, "Value", nullptr), "Value");
}

TEST(BundleLookup, ATableNameChoosesTheTable) {
    SampleBundle sample;
    pellin::test::ScopedEnvironment env;
    env.language("en_US.UTF-8");
    EXPECT_EQ(sample.bundle->localizedStringForKey("Greeting", "", "Other"), "Hi");
    EXPECT_EQ(sample.bundle->localizedStringForKey("Greeting", "", "Missing"), "Greeting");
    EXPECT_EQ(sample.bundle->localizedStringForKey("Greeting", "", "../en.lproj/Other"),
              "Greeting");
}

TEST(BundleLookup, ABrokenTableIsIgnoredWithOneWarningAndNeverCrashes) {
    SampleBundle sample;
    pellin::test::ScopedEnvironment env;
    env.language("de_DE.UTF-8");
    testing::internal::CaptureStderr();
    EXPECT_EQ(sample.bundle->localizedStringForKey("Greeting", "", nullptr), "Hello");
    EXPECT_EQ(sample.bundle->localizedStringForKey("Greeting", "", nullptr), "Hello");
    const std::string warnings = testing::internal::GetCapturedStderr();
    EXPECT_THAT(warnings, HasSubstr("de.lproj/Localizable.strings is ignored"));
    EXPECT_THAT(warnings, HasSubstr("line 2: missing ';'"));
    EXPECT_EQ(warnings.find("ignored"), warnings.rfind("ignored")) << "warned more than once";
}

TEST(BundleLookup, ABundleWithoutAFolderAnswersWithTheKeys) {
    Bundle bundle("/nonexistent/Resources");
    EXPECT_EQ(bundle.localizedStringForKey("Key", "", nullptr), "Key");
}

TEST(BundleLocation, ABinaryFindsItsBundleInTheBuildTreeAndInAnInstalledPrefix) {
    pellin::test::TemporaryHome home;
    const fs::path root = home.path();
    for (const char* name : {"build", "prefix"}) {
        fs::create_directories(root / name / "share/pellin/PellinUninstaller/Resources");
        fs::create_directories(root / name / "share/pellin/PellinCommonFramework/Resources");
    }
    EXPECT_EQ(Bundle::resourcePathForBinary(root / "build/bin/PellinUninstaller"),
              root / "build/share/pellin/PellinUninstaller/Resources");
    EXPECT_EQ(Bundle::resourcePathForBinary(root / "build/lib/libPellinCommonFramework.so.1"),
              root / "build/share/pellin/PellinCommonFramework/Resources");
    EXPECT_EQ(Bundle::resourcePathForBinary(root / "prefix/bin/PellinUninstaller"),
              root / "prefix/share/pellin/PellinUninstaller/Resources");
    EXPECT_EQ(Bundle::resourcePathForBinary(
                  root / "prefix/lib/x86_64-linux-gnu/libPellinCommonFramework.so"),
              root / "prefix/share/pellin/PellinCommonFramework/Resources");
    EXPECT_EQ(
        Bundle::resourcePathForBinary(root / "prefix/bin/../lib/libPellinCommonFramework.so.1.0.0"),
        root / "prefix/share/pellin/PellinCommonFramework/Resources");
    EXPECT_EQ(Bundle::resourcePathForBinary(root / "elsewhere/bin/Tool"),
              root / "elsewhere/share/pellin/Tool/Resources");
    // A merged-/usr system: the loader finds the libraries in /lib, a link to /usr/lib.
    fs::create_directories(root / "usr/lib/x86_64-linux-gnu");
    fs::create_directories(root / "usr/share/pellin/PellinAppKit/Resources");
    fs::create_directory_symlink("usr/lib", root / "lib");
    EXPECT_EQ(Bundle::resourcePathForBinary(root / "lib/x86_64-linux-gnu/libPellinAppKit.so.1"),
              root / "usr/share/pellin/PellinAppKit/Resources");
}

TEST(BundleLocation, TheBundleNameComesFromTheFileName) {
    EXPECT_EQ(Bundle::bundleNameForBinary("/x/bin/PellinUninstaller"), "PellinUninstaller");
    EXPECT_EQ(Bundle::bundleNameForBinary("/x/lib/libPellinCommonFramework.so.1"),
              "PellinCommonFramework");
    EXPECT_EQ(Bundle::bundleNameForBinary("libPellinLog.so"), "PellinLog");
    EXPECT_EQ(Bundle::bundleNameForBinary("/x/bin/library"), "library");
}

TEST(BundleLocation, TheMainBundleIsTheProgramsOwnUnlessReplaced) {
    const fs::path own = Bundle::mainBundle()->resourcePath();
    EXPECT_EQ(own, (pellin::test::buildDirectory() / "share/pellin/FoundationBundleTests/Resources")
                       .lexically_normal());
    const auto replacement = Bundle::bundleWithPath("/some/Resources");
    Bundle::setMainBundle(replacement);
    EXPECT_EQ(Bundle::mainBundle(), replacement);
    Bundle::setMainBundle(nullptr);
    EXPECT_EQ(Bundle::mainBundle()->resourcePath(), own);
}

TEST(BundleLocation, TheBundleOfAnAddressIsTheBundleOfTheBinaryHoldingIt) {
    static const int inThisProgram = 0;
    EXPECT_EQ(Bundle::bundleForAddress(&inThisProgram), Bundle::mainBundle());
    // Any function of PellinFoundation lies in libPellinFoundation.so.1.
    const auto library =
        Bundle::bundleForAddress(reinterpret_cast<const void*>(&Bundle::preferredLocalizations));
    EXPECT_EQ(library->resourcePath(),
              (pellin::test::buildDirectory() / "share/pellin/PellinFoundation/Resources")
                  .lexically_normal());
}

TEST(BundleLocation, OnePathIsOneBundle) {
    EXPECT_EQ(Bundle::bundleWithPath("/a/b/Resources"),
              Bundle::bundleWithPath("/a/b/../b/Resources"));
    EXPECT_NE(Bundle::bundleWithPath("/a/b/Resources"), Bundle::bundleWithPath("/a/c/Resources"));
}
