#include <memory>

#include <PellinAppKit/Application.h>
#include <PellinLog/PellinLogger.h>

#include "AppDelegate.h"

int main(int argc, char* argv[]) {
    // Before anything else, so that the very first log line already has its sink and level.
    PellinLogger::setup();
    return appkit::applicationMain(argc, argv, [] { return std::make_unique<AppDelegate>(); });
}
