#include <algorithm>
#include <memory>
#include <optional>

#include <PellinAppKit/Application.h>
#include <PellinLog/PellinLogger.h>

#include "AppDelegate.h"
#include "CommandLine.h"

int main(int argc, char* argv[]) {
    // Even before the logger: asking for help or the version, or mistyping, is answered without
    // creating a log folder in the home folder or reading the logging settings (which would go
    // wrong where the home is not usable). Nothing is logged on the way.
    if (const std::optional<int> status = answerCommandLine(argc, argv)) {
        return *status;
    }
    // Before anything else, so that the very first log line already has its sink and level.
    PellinLogger::setup();
    // Only the program's name: nothing is left on the command line for Qt to take as its own
    // options.
    return appkit::applicationMain(std::min(argc, 1), argv,
                                   [] { return std::make_unique<AppDelegate>(); });
}
