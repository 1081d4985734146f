// Writers of one settings domain in many processes and threads, some processes killed with
// SIGKILL at random moments while the file is read: whatever moment a writer dies at, the file
// always parses, and the writers left lose nothing.
#include <signal.h>

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "SettingsTesting.h"

using namespace foundation;

TEST(SettingsDomainWriters, TheFileAlwaysParsesAndTheWritersLeftLoseNothing) {
    const pellin::test::TemporaryHome home;
    const auto file = home.path() / "Library/Preferences/crash.test.plist";
    const auto parsed = [&] {  // none yet, or what the file holds
        return std::filesystem::exists(file)
                   ? PropertyListSerialization::propertyListWithContentsOfFile(file).value_or(
                         Value(Dictionary{{"damaged", 0}}))
                   : Value(Dictionary{});
    };
    std::mt19937 random(std::random_device{}());
    std::vector<pid_t> writers;
    for (const std::string name : {"k0", "w1", "k2", "w3", "w4", "k5", "w6", "k7"}) {
        writers.push_back(pellin::test::inChild([&] {
            const auto defaults = UserDefaults::initWithSuiteName("crash.test");
            for (long i = 0; i < 300; ++i) {
                defaults->setObject(Value(i), name + "-" + std::to_string(i));
            }
        }));
    }
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const auto defaults = UserDefaults::initWithSuiteName("crash.test");
            for (int i = 0; i < 200; ++i) {
                defaults->registerDefaults({{"registered" + std::to_string(t), Value(i)}});
                defaults->setObject(Value(i), "t" + std::to_string(t) + "-" + std::to_string(i));
                (void)defaults->objectForKey("t" + std::to_string((t + 1) % 4) + "-0");
            }
        });
    }
    for (const std::size_t killed : {0u, 2u, 5u, 7u}) {
        for (int reads = std::uniform_int_distribution(1, 300)(random); reads > 0; --reads) {
            ASSERT_FALSE(parsed().dictionary()->contains("damaged"));
        }
        kill(writers[killed], SIGKILL);
    }
    threads.clear();
    for (const pid_t writer : writers) {
        pellin::test::waitForExit(writer);
    }
    const auto defaults = UserDefaults::initWithSuiteName("crash.test");
    defaults->setObject(Value(1), "last");  // replaces what a killed writer left half written
    const Dictionary stored = *parsed().dictionary();
    EXPECT_LT(stored.size(), 8u * 300u + 4u * 200u + 1u)
        << "no writer was killed while it was still writing";
    for (const std::string writer : {"w1", "w3", "w4", "w6", "t0", "t1", "t2", "t3"}) {
        for (int i = 0; i < (writer[0] == 'w' ? 300 : 200); ++i) {
            EXPECT_EQ(stored.at(writer + "-" + std::to_string(i)), Value(i));
        }
    }
    EXPECT_EQ(defaults->objectForKey("registered3"), Value(199));
    // Only the domain's file is left: no lock file, no temporary.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
}
