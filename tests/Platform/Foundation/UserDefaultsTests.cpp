// Faults the per-user settings store must not have.

#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/UserDefaults.h>

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <set>
#include <string>
#include <thread>

#include "SettingsProcesses.h"
#include "TemporaryHome.h"

namespace {

namespace fs = std::filesystem;
using foundation::Array;
using foundation::Data;
using foundation::Date;
using foundation::Dictionary;
using foundation::PropertyListSerialization;
using foundation::UserDefaults;
using foundation::Value;
using pellin::test::runSettingsHelper;

constexpr const char* kDomain = "com.example.settings-test";

class SettingsTest : public ::testing::Test {
  protected:
    fs::path preferences() const { return home_.path() / "Library" / "Preferences"; }
    fs::path domainFile() const { return preferences() / (std::string(kDomain) + ".plist"); }
    std::unique_ptr<UserDefaults> open() const { return UserDefaults::initWithSuiteName(kDomain); }

    // What the file holds now, read straight from disk.
    std::optional<Value> onDisk() const {
        return PropertyListSerialization::propertyListWithContentsOfFile(domainFile().string());
    }

    std::set<std::string> filesInPreferences() const {
        std::set<std::string> names;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(preferences(), ignored)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    pellin::test::TemporaryHome home_;
};

// Each test registers defaults under keys of its own: the registration is process-wide.
using SettingsReadAsTheKindAskedFor = SettingsTest;

TEST_F(SettingsReadAsTheKindAskedFor, TextsReadAsBooleans) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    const std::pair<const char*, bool> cases[] = {
        {"NO", false},  {"no", false},    {"YES", true},   {"yes", true},  {"true", true},
        {"TRUE", true}, {"false", false}, {" YES ", true}, {"1", true},    {"0", false},
        {"2.5", true},  {"-1", true},     {"0.0", false},  {"1e3", true},  {"", false},
        {"abc", false}, {"Y", false},     {"inf", false},  {"nan", false}, {"0x1", false},
    };
    for (const auto& [text, expected] : cases) {
        defaults->setObject(Value(text), "flag");
        EXPECT_EQ(defaults->boolForKey("flag"), expected) << '"' << text << '"';
    }
}

TEST_F(SettingsReadAsTheKindAskedFor, NumbersAndOtherKindsReadAsBooleans) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    const std::pair<Value, bool> cases[] = {
        {Value(true), true},
        {Value(false), false},
        {Value(0), false},
        {Value(5), true},
        {Value(-1), true},
        {Value(0.0), false},
        {Value(0.1), true},
        {Value(std::numeric_limits<double>::quiet_NaN()), true},  // not zero
        {Value(Date{1.0}), false},
        {Value(Data{1}), false},
        {Value(Array{Value(1)}), false},
        {Value(Dictionary{{"a", Value(1)}}), false},
    };
    for (const auto& [value, expected] : cases) {
        defaults->setObject(value, "flag");
        EXPECT_EQ(defaults->boolForKey("flag"), expected) << value.description();
    }
    EXPECT_FALSE(defaults->boolForKey("never-stored"));
}

TEST_F(SettingsReadAsTheKindAskedFor, NumbersReadAsTexts) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    const std::pair<Value, const char*> cases[] = {
        {Value(42), "42"},   {Value(-7), "-7"},   {Value(2.5), "2.5"},
        {Value(0.1), "0.1"}, {Value(3.0), "3"},   {Value(1e300), "1e+300"},
        {Value(true), "1"},  {Value(false), "0"}, {Value("as is"), "as is"},
        {Value(""), ""},
    };
    for (const auto& [value, expected] : cases) {
        defaults->setObject(value, "text");
        EXPECT_EQ(defaults->stringForKey("text"), std::optional<std::string>(expected))
            << value.description();
    }
}

TEST_F(SettingsReadAsTheKindAskedFor, OtherKindsGiveNoText) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    for (const Value& value : {Value(Date{1.0}), Value(Data{1, 2}), Value(Array{Value("a")}),
                               Value(Dictionary{{"a", Value("b")}})}) {
        defaults->setObject(value, "text");
        EXPECT_EQ(defaults->stringForKey("text"), std::nullopt) << value.description();
    }
    EXPECT_EQ(defaults->stringForKey("never-stored"), std::nullopt);
}

TEST_F(SettingsReadAsTheKindAskedFor, OnlyDictionariesReadAsDictionaries) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    const Dictionary record{{"title", Value("t")}, {"count", Value(3)}};
    defaults->setObject(Value(record), "record");
    EXPECT_EQ(defaults->dictionaryForKey("record"), std::optional<Dictionary>(record));
    defaults->setObject(Value("text"), "record");
    EXPECT_EQ(defaults->dictionaryForKey("record"), std::nullopt);
    EXPECT_EQ(defaults->dictionaryForKey("never-stored"), std::nullopt);
}

TEST_F(SettingsReadAsTheKindAskedFor, ValuesComeBackOfTheKindStored) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    const Value date(Date{1709629503.25});
    defaults->setObject(date, "date");
    defaults->setObject(Value(-12), "negative");
    EXPECT_EQ(defaults->objectForKey("date"), date);
    EXPECT_EQ(defaults->objectForKey("negative"), Value(-12));
    EXPECT_EQ(UserDefaults::initWithSuiteName(kDomain)->objectForKey("date"), date);
}

using RegisteredDefaultsStayInMemory = SettingsTest;

TEST_F(RegisteredDefaultsStayInMemory, AStoredValueWinsOverTheRegisteredOne) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    defaults->registerDefaults({{"registered.wins", Value(true)}});
    EXPECT_TRUE(defaults->boolForKey("registered.wins"));
    defaults->setBool(false, "registered.wins");
    EXPECT_FALSE(defaults->boolForKey("registered.wins"));
    defaults->removeObjectForKey("registered.wins");
    EXPECT_TRUE(defaults->boolForKey("registered.wins"));
}

TEST_F(RegisteredDefaultsStayInMemory, RegistrationWritesNothing) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    defaults->registerDefaults(
        {{"registered.nothing", Value("NO")}, {"registered.zero", Value(0)}});
    EXPECT_EQ(defaults->objectForKey("registered.nothing"), Value("NO"));
    EXPECT_FALSE(defaults->boolForKey("registered.nothing"));
    EXPECT_FALSE(fs::exists(home_.path() / "Library"));
    EXPECT_EQ(runSettingsHelper({"get", kDomain, "registered.nothing"}), "(none)");

    // Nor is it written along with a stored key.
    defaults->setObject(Value("x"), "stored");
    const std::optional<Value> file = onDisk();
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(*file, Value(Dictionary{{"stored", Value("x")}}));
}

TEST_F(RegisteredDefaultsStayInMemory, SharedByEveryDomainAndReplacedByKey) {
    const auto defaults = open();
    const auto other = UserDefaults::initWithSuiteName("com.example.other");
    ASSERT_NE(defaults, nullptr);
    ASSERT_NE(other, nullptr);
    defaults->registerDefaults({{"registered.shared", Value(1)}, {"registered.kept", Value(2)}});
    other->registerDefaults({{"registered.shared", Value(3)}});
    EXPECT_EQ(defaults->objectForKey("registered.shared"), Value(3));
    EXPECT_EQ(other->objectForKey("registered.kept"), Value(2));
    other->registerDefaults({{"registered.shared", Value()}});
    EXPECT_TRUE(defaults->objectForKey("registered.shared").isNone());
}

TEST_F(RegisteredDefaultsStayInMemory, RegisteringAndReadingFromManyThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const auto defaults = UserDefaults::initWithSuiteName(kDomain);
            for (int i = 0; i < 500; ++i) {
                defaults->registerDefaults({{"registered.thread" + std::to_string(t), Value(i)}});
                (void)defaults->objectForKey("registered.thread" + std::to_string((t + 1) % 4));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const auto defaults = open();
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(defaults->objectForKey("registered.thread" + std::to_string(t)), Value(499));
    }
}

using SettingsReachTheFileAtOnce = SettingsTest;

TEST_F(SettingsReachTheFileAtOnce, WrittenAsXmlInTheUsersPreferences) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    EXPECT_EQ(defaults->path(), domainFile().string());
    defaults->setObject(Value("value"), "key");
    defaults->setBool(true, "flag");
    const std::string text = pellin::test::readFile(domainFile());
    EXPECT_TRUE(text.starts_with("<?xml")) << text;
    EXPECT_EQ(onDisk(), std::optional<Value>(
                            Value(Dictionary{{"key", Value("value")}, {"flag", Value(true)}})));
    EXPECT_EQ(fs::status(preferences()).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(domainFile()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SettingsReachTheFileAtOnce, AnotherProcessSeesAWriteWithoutSynchronize) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    defaults->setObject(Value("from the test"), "shared");
    EXPECT_EQ(runSettingsHelper({"get", kDomain, "shared"}), "from the test");
    defaults->removeObjectForKey("shared");
    EXPECT_EQ(runSettingsHelper({"get", kDomain, "shared"}), "(none)");
}

TEST_F(SettingsReachTheFileAtOnce, AWriteFromAnotherProcessIsSeenAtOnceDespiteTheCache) {
    const auto defaults = open();
    ASSERT_NE(defaults, nullptr);
    // Values of one length, so that only the file's identity can tell the versions apart.
    for (int i = 10; i < 40; ++i) {
        ASSERT_EQ(runSettingsHelper({"set", kDomain, "shared", std::to_string(i)}), "");
        EXPECT_EQ(defaults->stringForKey("shared"), std::to_string(i));
        EXPECT_EQ(defaults->stringForKey("shared"), std::to_string(i));
    }
}

TEST_F(SettingsReachTheFileAtOnce, TwoObjectsOfOneDomainSeeTheSameValues) {
    const auto first = open();
    const auto second = open();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());
    first->setObject(Value(1), "a");
    second->setObject(Value(2), "b");
    EXPECT_EQ(first->objectForKey("b"), Value(2));
    EXPECT_EQ(second->objectForKey("a"), Value(1));
}

TEST_F(SettingsReachTheFileAtOnce, StoringNoValueRemovesTheKey) {
    const auto defaults = open();
    defaults->setObject(Value(1), "a");
    defaults->setObject(Value(), "a");
    EXPECT_TRUE(defaults->objectForKey("a").isNone());
    EXPECT_EQ(onDisk(), std::optional<Value>(Value(Dictionary{})));
    defaults->removeObjectForKey("never-stored");  // no error, nothing to do
    EXPECT_EQ(onDisk(), std::optional<Value>(Value(Dictionary{})));
}

TEST_F(SettingsReachTheFileAtOnce, TheHomeOfTheMomentOfOpening) {
    const auto defaults = open();
    const fs::path first = domainFile();
    const pellin::test::TemporaryHome second("second");
    defaults->setObject(Value(1), "a");
    EXPECT_TRUE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second.path() / "Library"));
    EXPECT_EQ(open()->path(),
              (second.path() / "Library/Preferences" / (std::string(kDomain) + ".plist")).string());
}

// A set writes its own entry anew and copies the others' bytes from the file this process wrote
// last, and changes the values it holds in place.
using ASetRewritesOnlyItsEntry = SettingsTest;

TEST_F(ASetRewritesOnlyItsEntry, YetEachFileIsTheWholeDomainWrittenAfresh) {
    const auto defaults = open();
    const std::pair<std::string, Value> steps[] = {
        {"m", Value(1)},
        {"a", Value("before every other")},
        {"z", Value(true)},
        {"m", Value("longer than it was")},
        {"m", Value(2)},
        {"k<&>\r", Value("a <text> & \r")},
        {"n", Value(Dictionary{{"inner", Value(Array{Value(1.5), Value(Data{1, 2, 3})})}})},
        {"a", Value()},
        {"z", Value()},
        {"m", Value()},
        {"absent", Value()},
        {"k<&>\r", Value()},
        {"n", Value()},
        {"again", Value(3)},
    };
    Dictionary expected;
    for (const auto& [key, value] : steps) {
        defaults->setObject(value, key);
        if (value.isNone()) {
            expected.erase(key);
        } else {
            expected.insert_or_assign(key, value);
        }
        EXPECT_EQ(std::optional<std::string>(pellin::test::readFile(domainFile())),
                  PropertyListSerialization::xmlDataWithPropertyList(Value(expected)))
            << key;
    }
}

TEST_F(ASetRewritesOnlyItsEntry, NoEntryOutlivesAnotherProcessChangingIt) {
    const auto defaults = open();
    defaults->setObject(Value("mine"), "shared");
    defaults->setObject(Value(1), "other");
    // A value of the same length: a file of the same size, only its bytes tell.
    ASSERT_EQ(runSettingsHelper({"set", kDomain, "shared", "them"}), "");
    defaults->setObject(Value(2), "other");
    EXPECT_EQ(onDisk(), std::optional<Value>(
                            Value(Dictionary{{"shared", Value("them")}, {"other", Value(2)}})));
}

TEST_F(ASetRewritesOnlyItsEntry, AFailedWriteLeavesTheValuesAsTheFileHasThem) {
    const auto defaults = open();
    defaults->setObject(Value(1), "a");
    defaults->setObject(Value(2), "b");
    // A folder where the temporary file goes: the next write cannot replace the file.
    const fs::path blocker = preferences() / ("." + std::string(kDomain) + ".plist.tmp");
    fs::create_directories(blocker / "inside");
    defaults->setObject(Value(3), "a");
    EXPECT_EQ(defaults->objectForKey("a"), Value(1));
    EXPECT_FALSE(defaults->synchronize());
    fs::remove_all(blocker);
    defaults->setObject(Value(4), "b");
    EXPECT_EQ(onDisk(), std::optional<Value>(Value(Dictionary{{"a", Value(1)}, {"b", Value(4)}})));
}

using SettingsNamesAreChecked = SettingsTest;

TEST_F(SettingsNamesAreChecked, NamesThatCannotBeAFileName) {
    for (const std::string& name :
         {std::string(), std::string("."), std::string(".."), std::string("a/b"),
          std::string("../escape"), std::string("nul\0inside", 10), std::string(300, 'x')}) {
        EXPECT_EQ(UserDefaults::initWithSuiteName(name), nullptr) << name;
    }
}

TEST_F(SettingsNamesAreChecked, ARelativeHomeIsNoHome) {
    setenv("HOME", "relative/home", 1);
    EXPECT_EQ(UserDefaults::initWithSuiteName(kDomain), nullptr);
}

using DamagedFilesAreKeptAside = SettingsTest;

TEST_F(DamagedFilesAreKeptAside, GarbageReadsAsEmptyAndIsKeptBeforeTheFirstWrite) {
    for (const std::string& garbage :
         {std::string("this is not a property list"), std::string(),
          std::string("<?xml version=\"1.0\"?><plist "
                      "version=\"1.0\"><array><string>a</string></array></plist>"),
          std::string("bplist00\xff\xff", 10)}) {
        fs::remove_all(preferences());
        home_.writeFile(fs::path("Library/Preferences") / (std::string(kDomain) + ".plist"),
                        garbage);
        const auto defaults = open();
        EXPECT_TRUE(defaults->objectForKey("anything").isNone());
        EXPECT_FALSE(defaults->boolForKey("anything"));
        EXPECT_EQ(pellin::test::readFile(domainFile()), garbage);  // reading changes nothing

        defaults->setObject(Value("new"), "key");
        EXPECT_EQ(onDisk(), std::optional<Value>(Value(Dictionary{{"key", Value("new")}})));
        int keptAside = 0;
        for (const std::string& name : filesInPreferences()) {
            if (name.starts_with(std::string(kDomain) + ".plist.damaged-")) {
                ++keptAside;
                EXPECT_EQ(pellin::test::readFile(preferences() / name), garbage);
            }
        }
        EXPECT_EQ(keptAside, 1) << garbage;
    }
}

TEST_F(DamagedFilesAreKeptAside, AFolderInThePlaceOfTheFile) {
    fs::create_directories(domainFile() / "inside");
    const auto defaults = open();
    EXPECT_TRUE(defaults->objectForKey("key").isNone());
    defaults->setObject(Value(1), "key");
    EXPECT_EQ(onDisk(), std::optional<Value>(Value(Dictionary{{"key", Value(1)}})));
    EXPECT_EQ(filesInPreferences().size(), 2u);
}

TEST_F(DamagedFilesAreKeptAside, OnlyTheNewestDamagedVersionIsKept) {
    const auto defaults = open();
    for (const char* garbage : {"first garbage", "second garbage"}) {
        home_.writeFile(fs::path("Library/Preferences") / (std::string(kDomain) + ".plist"),
                        garbage);
        defaults->setObject(Value(garbage), "key");
    }
    std::set<std::string> kept;
    for (const std::string& name : filesInPreferences()) {
        if (name.find(".damaged-") != std::string::npos) {
            kept.insert(pellin::test::readFile(preferences() / name));
        }
    }
    EXPECT_EQ(kept, (std::set<std::string>{"second garbage"}));
}

TEST_F(DamagedFilesAreKeptAside, AReadOnlyUseNeverCreatesAnything) {
    const auto defaults = open();
    EXPECT_TRUE(defaults->objectForKey("a").isNone());
    defaults->removeObjectForKey("a");
    EXPECT_FALSE(fs::exists(home_.path() / "Library"));
}

TEST_F(DamagedFilesAreKeptAside, ACrashedWritersTemporaryFileIsReplacedNotPiledUp) {
    home_.writeFile(fs::path("Library/Preferences") / ("." + std::string(kDomain) + ".plist.tmp"),
                    "half a file from a writer that died");
    const auto defaults = open();
    defaults->setObject(Value(1), "key");
    EXPECT_EQ(filesInPreferences(), (std::set<std::string>{std::string(kDomain) + ".plist"}));
    EXPECT_EQ(onDisk(), std::optional<Value>(Value(Dictionary{{"key", Value(1)}})));
}

TEST_F(DamagedFilesAreKeptAside, AWriterKilledAtAnyMomentLeavesAWholeFile) {
    const auto defaults = open();
    defaults->setObject(Value(Array(200, Value("padding to make each write take a while"))), "big");
    for (int round = 0; round < 15; ++round) {
        const pid_t writer =
            pellin::test::startSettingsHelper({"write-forever", kDomain, "counter"});
        ASSERT_GT(writer, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + round * 3));
        kill(writer, SIGKILL);
        pellin::test::waitForExit(writer);
        const std::optional<Value> file = onDisk();
        ASSERT_TRUE(file.has_value()) << "round " << round;
        ASSERT_NE(file->dictionary(), nullptr);
        EXPECT_EQ(file->dictionary()->count("big"), 1u);
        EXPECT_LE(filesInPreferences().size(), 2u);  // the domain and at most one temporary
    }
    defaults->setObject(Value(1), "after");
    EXPECT_EQ(filesInPreferences().size(), 1u);
}

using BinaryFilesAreRead = SettingsTest;

TEST_F(BinaryFilesAreRead, AndRewrittenAsXmlWithEveryKey) {
    const std::string xml =
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>level</key><integer>15</integer>"
        "<key>name</key><string>binary</string><key>when</key><date>1900-01-01T00:00:00Z</date>"
        "</dict></plist>";
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<std::uint32_t>(xml.size()), &root);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    home_.writeFile(fs::path("Library/Preferences") / (std::string(kDomain) + ".plist"),
                    std::string(bytes, length));
    std::free(bytes);
    plist_free(root);

    const auto defaults = open();
    EXPECT_EQ(defaults->stringForKey("level"), "15");
    EXPECT_EQ(defaults->stringForKey("name"), "binary");
    const Value when = defaults->objectForKey("when");
    ASSERT_NE(when.date(), nullptr);
    EXPECT_EQ(when.date()->timeIntervalSince1970, -2208988800.0);

    defaults->setObject(Value("added"), "new");
    EXPECT_TRUE(pellin::test::readFile(domainFile()).starts_with("<?xml"));
    const std::optional<Value> file = onDisk();
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->dictionary()->size(), 4u);
    EXPECT_EQ(file->dictionary()->at("when"), when);
}

using SynchronizeReportsTheStore = SettingsTest;

TEST_F(SynchronizeReportsTheStore, TrueWhenTheStoreWrites) {
    const auto defaults = open();
    EXPECT_TRUE(defaults->synchronize());
    defaults->setObject(Value(1), "a");
    EXPECT_TRUE(defaults->synchronize());
}

TEST_F(SynchronizeReportsTheStore, FalseWhenThePreferencesFolderIsAFile) {
    home_.writeFile("Library/Preferences", "a file where the folder should be");
    const auto defaults = open();
    defaults->setObject(Value(1), "a");
    EXPECT_TRUE(defaults->objectForKey("a").isNone());
    EXPECT_FALSE(defaults->synchronize());
    EXPECT_EQ(pellin::test::readFile(preferences()), "a file where the folder should be");
}

TEST_F(SynchronizeReportsTheStore, FalseAfterAWriteThatFailedEvenOnceTheStoreIsBack) {
    const auto defaults = open();
    home_.writeFile("Library", "a file where the folder should be");
    defaults->setObject(Value(1), "a");
    fs::remove(home_.path() / "Library");
    EXPECT_FALSE(defaults->synchronize());  // the write above was lost, and the caller learns it
    EXPECT_TRUE(defaults->synchronize());
}

TEST_F(SynchronizeReportsTheStore, AValueWithoutAPropertyListFormIsNotStored) {
    const auto defaults = open();
    defaults->setObject(Value(1), "kept");
    defaults->setObject(Value(std::string("nul\0inside", 10)), "refused");
    EXPECT_FALSE(defaults->synchronize());
    EXPECT_EQ(onDisk(), std::optional<Value>(Value(Dictionary{{"kept", Value(1)}})));
}

using RemovingADomainLeavesNothing = SettingsTest;

TEST_F(RemovingADomainLeavesNothing, NoFileNoLockNoValueInAnyProcess) {
    const auto defaults = open();
    defaults->setObject(Value("x"), "a");
    defaults->setBool(true, "b");
    EXPECT_EQ(runSettingsHelper({"get", kDomain, "a"}), "x");
    defaults->removePersistentDomainForName(kDomain);
    EXPECT_TRUE(filesInPreferences().empty());
    EXPECT_TRUE(defaults->objectForKey("a").isNone());
    EXPECT_FALSE(defaults->boolForKey("b"));
    EXPECT_TRUE(open()->objectForKey("a").isNone());
    EXPECT_EQ(runSettingsHelper({"get", kDomain, "a"}), "(none)");
}

TEST_F(RemovingADomainLeavesNothing, ADomainThatNeverExisted) {
    const auto defaults = open();
    defaults->removePersistentDomainForName(kDomain);
    EXPECT_FALSE(fs::exists(home_.path() / "Library"));
    EXPECT_TRUE(defaults->synchronize());
}

TEST_F(RemovingADomainLeavesNothing, OnlyTheNamedDomain) {
    const auto defaults = open();
    const auto other = UserDefaults::initWithSuiteName("com.example.other");
    defaults->setObject(Value(1), "a");
    other->setObject(Value(2), "a");
    defaults->removePersistentDomainForName("com.example.other");
    EXPECT_EQ(defaults->objectForKey("a"), Value(1));
    EXPECT_TRUE(other->objectForKey("a").isNone());
    defaults->removePersistentDomainForName("../escape");  // not a domain name: nothing happens
    EXPECT_EQ(defaults->objectForKey("a"), Value(1));
}

TEST_F(RemovingADomainLeavesNothing, AnotherProcessWritesAgainAfterwards) {
    const auto defaults = open();
    defaults->setObject(Value("old"), "a");
    EXPECT_EQ(defaults->stringForKey("a"), "old");
    defaults->removePersistentDomainForName(kDomain);
    ASSERT_EQ(runSettingsHelper({"set", kDomain, "b", "new"}), "");
    EXPECT_TRUE(defaults->objectForKey("a").isNone());
    EXPECT_EQ(defaults->stringForKey("b"), "new");
}

}  // namespace
