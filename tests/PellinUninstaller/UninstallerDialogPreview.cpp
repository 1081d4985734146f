// UninstallerDialogPreview confirm | error [number] | complete
// Shows that dialog of the uninstaller, with the tables of the PellinUninstaller bundle beside
// this program, and prints "response=<answer>".

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include <PellinFoundation/Bundle.h>

#include "Alert/PellinUninstallerAlert.h"

int main(int argc, char** argv) {
    const std::string_view which = argc > 1 ? argv[1] : "confirm";
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    // The preview stands beside where the uninstaller would be, so it shares its bundle.
    foundation::Bundle::setMainBundle(foundation::Bundle::bundleWithPath(
        foundation::Bundle::resourcePathForBinary(self.parent_path() / "PellinUninstaller")));

    std::unique_ptr<appkit::Alert> alert;
    if (which == "confirm") {
        alert = PellinUninstallerAlert::createUninstallAlert();
    } else if (which == "error") {
        std::int16_t number = -1;
        if (argc > 2) {
            const std::string_view text = argv[2];
            std::from_chars(text.data(), text.data() + text.size(), number);
        }
        alert = PellinUninstallerAlert::createUninstallErrorAlert(number);
    } else if (which == "complete") {
        alert = PellinUninstallerAlert::createUninstallCompAlert();
    } else {
        std::fprintf(stderr, "usage: %s confirm | error [number] | complete\n", argv[0]);
        return 2;
    }
    std::printf("response=%ld\n", alert->runModal());
    // Written out now: a sanitizer that ends the process at exit would drop buffered output.
    std::fflush(stdout);
    return 0;
}
