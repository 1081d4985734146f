#pragma once

// Fake product applications for tests: real bundles ("<Name>.app/Contents/Info.plist" and a
// program in Contents/MacOS) and real processes started from them.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Subprocess.h"

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

// Start times count in clock ticks: waiting a little more than one keeps two starts in order.
void nextClockTick();

// A product application's process, returned once the program runs and, for a script, once its
// interpreter has opened it (so that a test looks at the process only when it is what it will be).
class FakeProcess : public Subprocess {
  public:
    explicit FakeProcess(std::vector<std::string> arguments,
                         std::optional<RunAs> runAs = std::nullopt,
                         const std::filesystem::path& workingDirectory = {});
    // A program as a product would run it: sleeping for an hour.
    static FakeProcess start(const std::filesystem::path& program,
                             std::optional<RunAs> runAs = std::nullopt);
};

}  // namespace pellin::test
