#pragma once

// A fake Pellin in a test's home folder, laid out by the trial script that users run, and
// sentinel files around it that an uninstall must leave alone.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/FakeApplication.h"

namespace pellin::test {

struct ProductPaths {
    explicit ProductPaths(const std::filesystem::path& home);

    std::filesystem::path launchAgent;     // ~/Library/LaunchAgents/jp.brenvik.mac.Pellin.plist
    std::filesystem::path residentFolder;  // ~/Library/Pellin, removed as a whole
    std::filesystem::path residentProgram;
    std::filesystem::path updaterProgram;  // in ~/Library/Pellin/BRENVIKUPDATE.app
    std::filesystem::path launcher;        // ~/Applications/KickPellin.app
    std::filesystem::path
        sharedDomain;  // ~/Library/Preferences/com.brenvik.mac.Pellin.common.plist

    // Which of the four items an uninstall removes are still there, in the order above.
    std::vector<std::filesystem::path> remaining() const;
};

// Runs scripts/install-trial-product.sh --no-start for `home`, as `runAs` when given. True when
// the script succeeded.
bool installTrialProduct(const std::filesystem::path& home,
                         std::optional<RunAs> runAs = std::nullopt);

// Files beside and around the product's items, created by createSentinels; an uninstall must
// leave every one of them in place.
std::vector<std::filesystem::path> createSentinels(const std::filesystem::path& home);

// The folder of the scripts the product's developers and users run.
std::filesystem::path scriptsDirectory();

}  // namespace pellin::test
