#include "support/Uninstaller.h"

#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "TemporaryHome.h"

namespace pellin::test {

std::filesystem::path uninstallerProgram() {
    if (const char* other = std::getenv("PELLIN_TEST_UNINSTALLER"); other && *other != '\0') {
        return other;
    }
    return buildDirectory() / "bin/PellinUninstaller";
}

SessionOptions uninstallerSession(const std::filesystem::path& home,
                                  const std::vector<std::string>& extraEnvironment, bool terminal,
                                  std::optional<RunAs> runAs) {
    std::vector<std::string> environment = userEnvironment(home.string(), extraEnvironment);
    // A program unpacked from its package finds its libraries only where they were unpacked.
    if (const char* libraries = std::getenv("PELLIN_TEST_LIBRARY_PATH"); libraries) {
        environment.push_back(std::string("LD_LIBRARY_PATH=") + libraries);
    }
    return SessionOptions{{uninstallerProgram().string()}, std::move(environment), terminal, runAs};
}

const std::vector<std::string>& successfulRunInfoLines() {
    static const std::vector<std::string> lines = {
        "Start Uninstall Pellin App",
        "existsAutoStartSettingFile isExist=YES",
        "existsAutoStartSettingFileOrPellinApp isExist=YES",
        "Terminate Pellin App from Uninstall",
        "Terminate Pellin App from Uninstall",
        "Terminate BRENVIKUPDATE App from Uninstall",
    };
    return lines;
}

void nextClockTick() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000 / sysconf(_SC_CLK_TCK) + 15));
}

Finished runQuietly(std::vector<std::string> arguments, std::vector<std::string> environment,
                    bool showErrors) {
    ProgramSession session(
        {std::move(arguments), std::move(environment), false, std::nullopt, showErrors});
    Finished finished;
    finished.status = session.finish();
    finished.output = session.shown();
    return finished;
}

}  // namespace pellin::test
