// UninstallerDialogPreview confirm | error [number] | complete
// Shows that dialog of the uninstaller, with the tables of the PellinUninstaller bundle beside
// this program, and prints "response=<answer>".

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include <PellinFoundation/Bundle.h>

#include "Alert/PellinUninstallerAlert.h"

int main(int argc, char** argv) {
    const std::string_view which = argc > 1 ? argv[1] : "confirm";
    // The preview stands beside where the uninstaller would be, so it shares its bundle.
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    foundation::Bundle::setMainBundle(foundation::Bundle::bundleWithPath(
        foundation::Bundle::resourcePathForBinary(self.parent_path() / "PellinUninstaller")));
    const auto number = static_cast<std::int16_t>(argc > 2 ? std::atoi(argv[2]) : -1);
    const auto alert = which == "confirm" ? PellinUninstallerAlert::createUninstallAlert()
                       : which == "error"
                           ? PellinUninstallerAlert::createUninstallErrorAlert(number)
                       : which == "complete" ? PellinUninstallerAlert::createUninstallCompAlert()
                                             : nullptr;
    if (!alert) {
        std::fprintf(stderr, "usage: %s confirm | error [number] | complete\n", argv[0]);
        return 2;
    }
    std::printf("response=%ld\n", alert->runModal());
    // Written out now: a sanitizer that ends the process at exit would drop buffered output.
    std::fflush(stdout);
    return 0;
}
