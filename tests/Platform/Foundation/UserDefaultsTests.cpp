// Faults the per-user settings store must not have.
#include <PellinFoundation/HomeOwner.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SettingsTesting.h"
#include "TestCases.h"

namespace {

namespace fs = std::filesystem;
using namespace foundation;
using pellin::test::readFile;
using pellin::test::setElsewhere;

constexpr const char* kDomain = "com.example.settings-test";

class Settings : public pellin::test::SettingsDomainTest {
  protected:
    Settings() : SettingsDomainTest(kDomain) {}
    static std::unique_ptr<UserDefaults> open() { return UserDefaults::initWithSuiteName(kDomain); }
    static std::optional<Value> only(std::initializer_list<Dictionary::value_type> entries) {
        return Value(Dictionary(entries));
    }
};

TEST_F(Settings, ValuesReadAsTheKindAskedFor) {
    const auto defaults = open();
    for (const auto& row : pellin::test::casesIn("settings-values.tsv")) {
        const auto stored = PropertyListSerialization::propertyListWithData(row.at(0));
        ASSERT_TRUE(stored) << row.at(0);
        defaults->setObject(*stored, "key");
        EXPECT_EQ(defaults->boolForKey("key"), row.at(1) == "YES") << row.at(0);
        if (row.at(2) != "(not a number)") {
            EXPECT_EQ(defaults->stringForKey("key").value_or("(none)"), row.at(2)) << row.at(0);
            EXPECT_EQ(open()->objectForKey("key"), stored);
        }
        EXPECT_EQ(defaults->dictionaryForKey("key").has_value(), stored->dictionary() != nullptr);
    }
    EXPECT_FALSE(defaults->boolForKey("never-stored"));
    EXPECT_EQ(defaults->stringForKey("never-stored"), std::nullopt);
}

// The registration is process-wide: each test registers keys of its own.
TEST_F(Settings, RegisteredDefaultsStayInMemoryAndAStoredValueWins) {
    const auto defaults = open();
    const auto other = UserDefaults::initWithSuiteName("com.example.other");
    defaults->registerDefaults({{"registered.a", Value("NO")}, {"registered.b", Value(1)}});
    other->registerDefaults({{"registered.b", Value(3)}});
    EXPECT_EQ(defaults->objectForKey("registered.a"), Value("NO"));
    EXPECT_EQ(defaults->objectForKey("registered.b"), Value(3));
    EXPECT_FALSE(fs::exists(home.path() / "Library"));
    defaults->setObject(Value("YES"), "registered.a");
    EXPECT_TRUE(defaults->boolForKey("registered.a"));
    EXPECT_EQ(onDisk(), only({{"registered.a", Value("YES")}}));
    defaults->removeObjectForKey("registered.a");
    EXPECT_EQ(defaults->objectForKey("registered.a"), Value("NO"));
    other->registerDefaults({{"registered.b", Value()}});
    EXPECT_TRUE(defaults->objectForKey("registered.b").isNone());
}

TEST_F(Settings, AWriteReachesTheFileAtOnceAndOtherProcessesSeeIt) {
    const auto defaults = open();
    const auto second = open();
    EXPECT_EQ(defaults->path(), domainFile().string());
    defaults->setObject(Value("value"), "key");
    second->setBool(true, "flag");
    EXPECT_EQ(onDisk(), only({{"key", Value("value")}, {"flag", Value(true)}}));
    EXPECT_EQ(defaults->objectForKey("flag"), Value(true));
    EXPECT_EQ(fs::status(preferences()).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(domainFile()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // Values of one length, so that only the file's identity tells the versions apart.
    for (int i = 10; i < 30; ++i) {
        ASSERT_TRUE(setElsewhere(kDomain, "shared", std::to_string(i)));
        EXPECT_EQ(defaults->stringForKey("shared"), std::to_string(i));
        EXPECT_EQ(defaults->stringForKey("shared"), std::to_string(i));
    }
    const pellin::test::TemporaryHome second_home("second");
    defaults->setObject(Value(1), "a");  // the home of the moment of opening
    EXPECT_FALSE(fs::exists(second_home.path() / "Library"));
    EXPECT_EQ(
        open()->path(),
        (second_home.path() / "Library/Preferences" / (std::string(kDomain) + ".plist")).string());
}

// A set writes its own entry anew and copies the others' bytes from the file this process wrote
// last: each file must still be the whole domain as the writer would write it afresh.
TEST_F(Settings, ASetRewritesOnlyItsEntryYetTheFileIsTheWholeDomain) {
    const auto defaults = open();
    Dictionary expected;
    for (const auto& row : pellin::test::casesIn("settings-set-steps.tsv")) {
        const std::string key = pellin::test::unescaped(row.at(0));
        const Value value =
            PropertyListSerialization::propertyListWithData(row.at(1)).value_or(Value());
        defaults->setObject(value, key);
        value.isNone() ? void(expected.erase(key)) : void(expected.insert_or_assign(key, value));
        EXPECT_EQ(std::optional(readFile(domainFile())),
                  PropertyListSerialization::xmlDataWithPropertyList(Value(expected)))
            << key;
    }
    // Another process's change of the same size: only the bytes tell.
    defaults->setObject(Value("mine"), "shared");
    ASSERT_TRUE(setElsewhere(kDomain, "shared", "them"));
    defaults->setObject(Value(2), "again");
    EXPECT_EQ(onDisk(), only({{"shared", Value("them")}, {"again", Value(2)}}));
    // A folder where the temporary file goes: the write fails, the values stay as on disk.
    fs::create_directories(preferences() / ("." + std::string(kDomain) + ".plist.tmp/inside"));
    defaults->setObject(Value(3), "again");
    EXPECT_EQ(defaults->objectForKey("again"), Value(2));
    EXPECT_FALSE(defaults->synchronize());
}

TEST_F(Settings, SynchronizeAnswersFalseForEveryWriteThatWasLost) {
    EXPECT_TRUE(open()->synchronize());
    EXPECT_FALSE(fs::exists(home.path() / "Library"));  // a read-only use creates nothing
    home.writeFile("Library", "a file where the folder should be");
    const auto defaults = open();
    defaults->setObject(Value(1), "a");
    EXPECT_TRUE(defaults->objectForKey("a").isNone());
    fs::remove(home.path() / "Library");
    EXPECT_FALSE(defaults->synchronize());
    defaults->setObject(Value(1), "kept");
    defaults->setObject(Value(std::string("nul\0inside", 10)), "refused");
    EXPECT_FALSE(defaults->synchronize());
    EXPECT_EQ(onDisk(), only({{"kept", Value(1)}}));
    EXPECT_TRUE(defaults->synchronize());
}

TEST_F(Settings, NamesThatCannotBeAFileNameAndARelativeHomeOpenNothing) {
    for (const auto& row : pellin::test::casesIn("settings-domain-names.tsv")) {
        EXPECT_EQ(UserDefaults::initWithSuiteName(pellin::test::unescaped(row.at(0))), nullptr)
            << row[1];
    }
    setenv("HOME", "relative/home", 1);
    EXPECT_EQ(open(), nullptr);
}

TEST_F(Settings, DamagedFilesReadAsEmptyAndOnlyTheNewestIsKeptAside) {
    for (const auto& row : pellin::test::casesIn("settings-damaged-files.tsv")) {
        const std::string garbage = pellin::test::unescaped(row.at(0));
        writeDomainFile(garbage);
        const auto defaults = open();
        EXPECT_TRUE(defaults->objectForKey("key").isNone());
        EXPECT_EQ(readFile(domainFile()), garbage);  // reading changes nothing
        defaults->setObject(Value("new"), "key");
        EXPECT_EQ(onDisk(), only({{"key", Value("new")}}));
        ASSERT_EQ(files().size(), 2u) << garbage;
        const std::string aside = *files().rbegin();
        EXPECT_TRUE(aside.starts_with(std::string(kDomain) + ".plist.damaged-")) << aside;
        EXPECT_EQ(readFile(preferences() / aside), garbage);
    }
    open()->removePersistentDomainForName(kDomain);  // the set-aside copy goes too
    EXPECT_TRUE(files().empty());
    fs::create_directories(domainFile() / "inside");  // a folder in the place of the file
    open()->setObject(Value(1), "key");
    EXPECT_EQ(onDisk(), only({{"key", Value(1)}}));
    EXPECT_EQ(files().size(), 2u);
    fs::remove_all(preferences());
    // A crashed writer's temporary file is replaced, not piled up.
    home.writeFile(fs::path("Library/Preferences") / ("." + std::string(kDomain) + ".plist.tmp"),
                   "half a file");
    open()->setObject(Value(1), "key");
    EXPECT_EQ(files(), (std::set<std::string>{std::string(kDomain) + ".plist"}));
}

// Far beyond the size cap: read as empty without being read whole (the address space could not
// hold it), and set aside by the next write.
TEST_F(Settings, AHugeFileReadsAsEmptyWithoutBeingReadWhole) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory needs more address space than the limit leaves";
#endif
    writeDomainFile("");
    fs::resize_file(domainFile(), std::uintmax_t{2} << 30);  // 2 GB that take no room on disk
    const pid_t reader = pellin::test::inChild([] {
        const rlimit limit{1000000000, 1000000000};  // about 1 GB
        setrlimit(RLIMIT_AS, &limit);
        _exit(open()->objectForKey("key").isNone() ? 0 : 1);
    });
    EXPECT_EQ(pellin::test::waitForExit(reader), 0);
    open()->setObject(Value(1), "key");
    EXPECT_EQ(onDisk(), only({{"key", Value(1)}}));
}

TEST_F(Settings, RemovingADomainLeavesNothingOfItInAnyProcess) {
    const auto defaults = open();
    const auto other = UserDefaults::initWithSuiteName("com.example.other");
    defaults->removePersistentDomainForName(kDomain);  // never existed
    EXPECT_FALSE(fs::exists(home.path() / "Library"));
    defaults->setObject(Value("x"), "a");
    other->setObject(Value(2), "a");
    defaults->removePersistentDomainForName("../escape");  // not a domain name: nothing happens
    defaults->removePersistentDomainForName(kDomain);
    EXPECT_EQ(files(), (std::set<std::string>{"com.example.other.plist"}));
    EXPECT_TRUE(defaults->objectForKey("a").isNone());
    EXPECT_EQ(other->objectForKey("a"), Value(2));
    ASSERT_TRUE(setElsewhere(kDomain, "b", "new"));
    EXPECT_EQ(defaults->stringForKey("b"), "new");
    EXPECT_TRUE(defaults->objectForKey("a").isNone());
}

TEST_F(Settings, WhatRootCreatesInAUsersHomeBelongsToThatUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can run with another user's home";
    }
    EXPECT_FALSE(ownerOfCreatedFiles());  // root's own home: nothing to change
    ASSERT_EQ(chown(home.path().c_str(), 65534, 65534), 0);
    open()->setObject(Value(1), "key");
    writeDomainFile("damaged, root's");
    open()->setObject(Value(2), "key");
    ASSERT_EQ(files().size(), 2u);  // the domain file and the damaged one, set aside
    for (const fs::path& path : {home.path() / "Library", preferences(), domainFile(),
                                 preferences() / *files().rbegin()}) {
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
        EXPECT_EQ(info.st_uid, 65534u) << path;
        EXPECT_EQ(info.st_gid, 65534u) << path;
        EXPECT_TRUE(S_ISDIR(info.st_mode) || (info.st_mode & 077) == 0) << path;  // secrets
    }
}

}  // namespace
