#pragma once

// Fake product applications for tests: real bundles ("<Name>.app/Contents/Info.plist" and a
// program in Contents/MacOS) and real processes started from them.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pellin::test {

enum class ProgramKind {
    Binary,  // a copy of /bin/sleep
    Script,  // a "#!/bin/sh" script that sleeps
};

// Creates "<folder>/<name>.app" whose Info.plist names `bundleIdentifier`, with the program
// Contents/MacOS/<name>. Returns the program's path.
std::filesystem::path createFakeBundle(const std::filesystem::path& folder, const std::string& name,
                                       const std::string& bundleIdentifier,
                                       ProgramKind kind = ProgramKind::Binary);

// Writes an XML property list holding one text under "CFBundleIdentifier" and, when given, the
// name of the bundle's executable under "CFBundleExecutable".
void writeInfoPlist(const std::filesystem::path& bundle, const std::string& bundleIdentifier,
                    const std::string& executable = "");

// Info.plists that another program of the user may plant in a bundle to stall or crash whoever
// reads it.
enum class HostileInfoPlist {
    DeeplyNested,  // a binary list of 110,000 nested lists, in less than 1 MiB
    HugeSparse,    // 30 GB that take no room on the disk
    Fifo,          // a named pipe that nobody ever writes to
};
void writeHostileInfoPlist(const std::filesystem::path& bundle, HostileInfoPlist kind);

// Who a started process runs as; nothing means the test's own user.
struct RunAs {
    uid_t uid;
    gid_t gid;
};

// A child process of the test. It is killed and reaped when the object goes, so that no test
// leaves a process behind.
class FakeProcess {
  public:
    // Starts `arguments[0]` with the rest as its arguments, in `workingDirectory` when given, and
    // returns once the program runs (not the test's copy of itself that precedes it). A
    // program that cannot be started leaves pid() at -1.
    explicit FakeProcess(std::vector<std::string> arguments,
                         std::optional<RunAs> runAs = std::nullopt,
                         const std::filesystem::path& workingDirectory = {});
    // A program as a product would run it: sleeping for an hour.
    static FakeProcess start(const std::filesystem::path& program,
                             std::optional<RunAs> runAs = std::nullopt);
    ~FakeProcess();
    FakeProcess(FakeProcess&& other) noexcept;
    FakeProcess& operator=(FakeProcess&&) = delete;
    FakeProcess(const FakeProcess&) = delete;
    FakeProcess& operator=(const FakeProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Whether the process has been killed: waits (at most ten seconds, so that a fault cannot
    // hang the suite) for it to end, and answers whether it ended by SIGKILL.
    bool diedOfKill();
    // Whether it still runs with no kill pending for it, so that a kill sent a moment ago is not
    // mistaken for survival.
    bool survives();

  private:
    bool reap(bool block);
    void waitUntilArgumentsAreShown(const std::string& program) const;

    pid_t pid_ = -1;
    std::optional<int> status_;
};

}  // namespace pellin::test
