// Faults of the settings store under concurrent writers.

#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/UserDefaults.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "SettingsProcesses.h"
#include "TemporaryHome.h"

namespace {

using foundation::UserDefaults;
using foundation::Value;

constexpr const char* kDomain = "com.example.settings-concurrency";

TEST(ConcurrentWritersLoseNothing, SeveralProcessesWritingDifferentKeys) {
    const pellin::test::TemporaryHome home;
    constexpr int kProcesses = 3;
    constexpr int kWrites = 1000;
    std::vector<pid_t> writers;
    for (int p = 0; p < kProcesses; ++p) {
        writers.push_back(pellin::test::startSettingsHelper(
            {"write-many", kDomain, "process" + std::to_string(p), std::to_string(kWrites)}));
        ASSERT_GT(writers.back(), 0);
    }
    for (const pid_t writer : writers) {
        EXPECT_EQ(pellin::test::waitForExit(writer), 0);
    }
    const auto defaults = UserDefaults::initWithSuiteName(kDomain);
    ASSERT_NE(defaults, nullptr);
    int found = 0;
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kWrites; ++i) {
            const std::string key = "process" + std::to_string(p) + "-" + std::to_string(i);
            found += defaults->objectForKey(key) == Value(i) ? 1 : 0;
        }
    }
    EXPECT_EQ(found, kProcesses * kWrites);
    // Only the domain's file is left: no lock file, no temporary.
    int files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(home.path() / "Library/Preferences")) {
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(ConcurrentWritersLoseNothing, SeveralThreadsOfOneProcessReadingAndWriting) {
    const pellin::test::TemporaryHome home;
    constexpr int kThreads = 4;
    constexpr int kWrites = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const auto defaults = UserDefaults::initWithSuiteName(kDomain);
            for (int i = 0; i < kWrites; ++i) {
                const std::string key = "thread" + std::to_string(t) + "-" + std::to_string(i);
                defaults->setObject(Value(i), key);
                (void)defaults->objectForKey("thread" + std::to_string((t + 1) % kThreads) + "-0");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const auto file = foundation::PropertyListSerialization::propertyListWithContentsOfFile(
        UserDefaults::initWithSuiteName(kDomain)->path());
    ASSERT_TRUE(file.has_value());
    ASSERT_NE(file->dictionary(), nullptr);
    EXPECT_EQ(file->dictionary()->size(), static_cast<std::size_t>(kThreads * kWrites));
}

}  // namespace
