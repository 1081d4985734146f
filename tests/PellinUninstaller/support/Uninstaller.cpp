#include "support/Uninstaller.h"

#include <unistd.h>

#include <thread>

#include "TemporaryHome.h"

namespace pellin::test {

std::filesystem::path uninstallerProgram() {
    return buildDirectory() / "bin/PellinUninstaller";
}

SessionOptions uninstallerSession(const std::filesystem::path& home,
                                  const std::vector<std::string>& extraEnvironment, bool terminal,
                                  std::optional<RunAs> runAs) {
    return SessionOptions{{uninstallerProgram().string()},
                          userEnvironment(home.string(), extraEnvironment),
                          terminal,
                          runAs};
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
