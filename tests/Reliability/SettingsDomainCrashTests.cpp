// Eight processes write their own key of one settings domain 1,000 times each while some of
// them are killed with SIGKILL at random moments. Whatever moment a writer dies at, the domain
// file must always parse, and it must hold every write whose call had returned.
#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/UserDefaults.h>
#include <PellinFoundation/Value.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TemporaryHome.h"

namespace {

constexpr int kWriters = 8;
constexpr int kWrites = 1000;
constexpr const char* kDomain = "com.brenvik.crash.test";

struct Writer {
    pid_t pid = -1;
    int reports = -1;  // read end: one int32 per write that has returned
    int lastReturned = -1;
    bool killed = false;
};

// The child: writes its key with 0, 1, 2, ... and reports each write after it returned.
[[noreturn]] void writeAndReport(int index, int reportPipe) {
    const auto defaults = foundation::UserDefaults::initWithSuiteName(kDomain);
    const std::string key = "writer" + std::to_string(index);
    for (std::int32_t i = 0; i < kWrites && defaults; ++i) {
        defaults->setObject(foundation::Value(i), key);
        if (write(reportPipe, &i, sizeof i) != static_cast<ssize_t>(sizeof i)) {
            _exit(2);
        }
    }
    _exit(defaults ? 0 : 1);
}

Writer start(int index) {
    int fds[2];
    if (pipe(fds) != 0) {
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        writeAndReport(index, fds[1]);
    }
    close(fds[1]);
    return Writer{pid, fds[0]};
}

// Reads every report a writer managed to send; the last is its last returned write.
void collect(Writer& writer) {
    std::int32_t value = 0;
    while (read(writer.reports, &value, sizeof value) == static_cast<ssize_t>(sizeof value)) {
        writer.lastReturned = value;
    }
    close(writer.reports);
}

}  // namespace

TEST(SettingsDomainSurvivesKilledWriters, TheFileAlwaysParsesAndKeepsEveryReturnedWrite) {
    pellin::test::TemporaryHome home;
    const std::string file =
        (home.path() / "Library" / "Preferences" / (std::string(kDomain) + ".plist")).string();
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);

    std::array<Writer, kWriters> writers;
    for (int i = 0; i < kWriters; ++i) {
        writers[static_cast<std::size_t>(i)] = start(i);
        ASSERT_GT(writers[static_cast<std::size_t>(i)].pid, 0);
    }

    // Half of the writers die, each at its own random moment, while the file is read over and
    // over: a reader must never find a damaged file.
    std::vector<std::size_t> victims = {0, 2, 5, 7};
    int unreadable = 0;
    int reads = 0;
    for (const std::size_t victim : victims) {
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(std::uniform_int_distribution(1, 40)(random));
        while (std::chrono::steady_clock::now() < until) {
            if (access(file.c_str(), F_OK) == 0) {
                ++reads;
                const auto value =
                    foundation::PropertyListSerialization::propertyListWithContentsOfFile(file);
                unreadable += (value && value->dictionary()) ? 0 : 1;
            }
        }
        kill(writers[victim].pid, SIGKILL);
        writers[victim].killed = true;
    }
    for (Writer& writer : writers) {
        collect(writer);
        int status = 0;
        waitpid(writer.pid, &status, 0);
        if (!writer.killed) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
    }
    EXPECT_EQ(unreadable, 0) << "of " << reads << " reads while writers were killed";
    bool someDiedMidway = false;
    for (const Writer& writer : writers) {
        someDiedMidway = someDiedMidway || (writer.killed && writer.lastReturned < kWrites - 1);
    }
    EXPECT_TRUE(someDiedMidway) << "no writer was killed while it was still writing";

    const auto stored = foundation::PropertyListSerialization::propertyListWithContentsOfFile(file);
    ASSERT_TRUE(stored && stored->dictionary()) << "the domain file no longer parses";
    for (int i = 0; i < kWriters; ++i) {
        const Writer& writer = writers[static_cast<std::size_t>(i)];
        const std::string key = "writer" + std::to_string(i);
        if (writer.lastReturned < 0) {
            continue;  // killed before its first write returned
        }
        const auto found = stored->dictionary()->find(key);
        ASSERT_NE(found, stored->dictionary()->end()) << key << " lost";
        ASSERT_NE(found->second.integer(), nullptr) << key;
        // A writer killed after a write returned but before it reported it may be one ahead.
        const std::int64_t value = *found->second.integer();
        EXPECT_GE(value, writer.lastReturned) << key << " lost a returned write";
        EXPECT_LE(value, writer.killed ? writer.lastReturned + 1 : kWrites - 1) << key;
        if (!writer.killed) {
            EXPECT_EQ(value, kWrites - 1) << key;
        }
    }
}
