#include "CommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage = "Usage: PellinUninstaller [--help | --version]\n";

constexpr const char* kHelp =
    "Removes Pellin from your account. Once you confirm, it removes the resident application,\n"
    "the launcher, the launch agent and Pellin's shared settings, and quits the running\n"
    "application and updater. It asks in a window when a display is available, otherwise on\n"
    "the terminal; with neither, it removes nothing.\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0   Pellin was uninstalled, or nothing of it was installed\n"
    "  1   declined, or no dialog could ask\n"
    "  2   the removal failed\n"
    "  64  the command line was wrong\n";

// What the user typed, without the control characters a terminal would act on.
std::string printable(std::string_view argument) {
    std::string text(argument);
    for (char& c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F) {
            c = '?';
        }
    }
    return text;
}

}  // namespace

std::optional<int> answerCommandLine(int argc, const char* const* argv) {
    if (argc <= 1 || argv == nullptr) {
        return std::nullopt;
    }
    const std::string_view first = argv[1] != nullptr ? argv[1] : "";
    if (argc == 2 && first == "--help") {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return EXIT_SUCCESS;
    }
    if (argc == 2 && first == "--version") {
        std::fputs("PellinUninstaller " PELLIN_VERSION "\n", stdout);
        return EXIT_SUCCESS;
    }
    // The first argument that has no place here: after "--help" or "--version", any at all.
    const int refused = first == "--help" || first == "--version" ? 2 : 1;
    const char* argument = argv[refused] != nullptr ? argv[refused] : "";
    std::fprintf(stderr,
                 "PellinUninstaller: unexpected argument '%s'\n%sTry 'PellinUninstaller --help' "
                 "for more information.\n",
                 printable(argument).c_str(), kUsage);
    return static_cast<int>(ExitStatus::Usage);
}
