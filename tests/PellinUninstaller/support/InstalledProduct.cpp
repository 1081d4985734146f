#include "support/InstalledProduct.h"

#include <fstream>

#include "support/ProgramSession.h"

namespace pellin::test {

namespace fs = std::filesystem;

ProductPaths::ProductPaths(const fs::path& home)
    : launchAgent(home / "Library/LaunchAgents/jp.brenvik.mac.Pellin.plist"),
      residentFolder(home / "Library/Pellin"),
      residentProgram(residentFolder / "Pellin.app/Contents/MacOS/Pellin"),
      updaterProgram(residentFolder / "BRENVIKUPDATE.app/Contents/MacOS/BRENVIKUPDATE"),
      launcher(home / "Applications/KickPellin.app"),
      sharedDomain(home / "Library/Preferences/com.brenvik.mac.Pellin.common.plist") {}

std::vector<fs::path> ProductPaths::remaining() const {
    std::vector<fs::path> found;
    for (const fs::path& item : {launchAgent, residentFolder, launcher, sharedDomain}) {
        std::error_code error;
        if (fs::exists(item, error)) {
            found.push_back(item);
        }
    }
    return found;
}

fs::path scriptsDirectory() {
    return fs::path(PELLIN_SOURCE_DIR) / "scripts";
}

bool installTrialProduct(const fs::path& home, std::optional<RunAs> runAs) {
    ProgramSession script({{"/bin/bash", (scriptsDirectory() / "install-trial-product.sh").string(),
                            "--no-start", "--home", home.string()},
                           userEnvironment(home.string()),
                           false,
                           runAs});
    return exitedWith(script.finish(), 0);
}

std::vector<fs::path> createSentinels(const fs::path& home) {
    const std::vector<fs::path> sentinels = {
        home / "Library/LaunchAgents/com.example.other.plist",
        home / "Library/Preferences/com.example.other.plist",
        home / "Library/Preferences/com.brenvik.mac.Pellin.common.plist.backup",
        home / "Library/PellinNotes.txt",
        home / "Library/Application Support/Pellin/keep.txt",
        home / "Applications/Other.app/Contents/Info.plist",
        home / "Applications/KickPellin.app copy/Contents/Info.plist",
        home / "sentinel.txt",
        home.parent_path() / "beside-home.txt",
    };
    for (const fs::path& sentinel : sentinels) {
        fs::create_directories(sentinel.parent_path());
        std::ofstream(sentinel) << "keep\n";
    }
    return sentinels;
}

}  // namespace pellin::test
