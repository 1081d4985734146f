// Writers of one settings domain killed with SIGKILL at random moments while the file is read:
// whatever moment a writer dies at, the file always parses, and the writers left lose nothing.
#include <PellinFoundation/PropertyList.h>

#include <signal.h>

#include <gtest/gtest.h>

#include <random>

#include "SettingsProbe.h"
#include "TemporaryHome.h"

TEST(SettingsDomainSurvivesKilledWriters, TheFileAlwaysParsesAndTheOthersLoseNothing) {
    const pellin::test::TemporaryHome home;
    const auto file = home.path() / "Library/Preferences/crash.test.plist";
    const auto parsed = [&] {  // none yet, or what the file holds
        return std::filesystem::exists(file)
                   ? foundation::PropertyListSerialization::propertyListWithContentsOfFile(file)
                         .value_or(foundation::Value(foundation::Dictionary{{"damaged", 0}}))
                   : foundation::Value(foundation::Dictionary{});
    };
    std::mt19937 random(std::random_device{}());
    std::vector<pid_t> writers;
    for (const std::string name : {"k0", "w1", "k2", "w3", "w4", "k5", "w6", "k7"}) {
        writers.push_back(pellin::test::writeMany("crash.test", name, 300));
    }
    for (const std::size_t killed : {0u, 2u, 5u, 7u}) {
        for (int reads = std::uniform_int_distribution(1, 300)(random); reads > 0; --reads) {
            ASSERT_FALSE(parsed().dictionary()->contains("damaged"));
        }
        kill(writers[killed], SIGKILL);
    }
    for (const pid_t writer : writers) {
        pellin::test::waitForExit(writer);
    }
    const foundation::Dictionary stored = *parsed().dictionary();
    EXPECT_LT(stored.size(), 8u * 300u) << "no writer was killed while it was still writing";
    for (const char* survivor : {"w1-299", "w3-299", "w4-299", "w6-299"}) {
        EXPECT_EQ(stored.at(survivor), foundation::Value(299));
    }
}
