#pragma once

#include <PellinAppKit/ApplicationDelegate.h>

#include "ExitStatus.h"

// The uninstaller's whole run: confirmation, uninstall, force-quit of the product's running
// applications, the result dialog, and the end of the application. The application loop makes
// the one instance and calls applicationDidFinishLaunching once.
class AppDelegate : public appkit::ApplicationDelegate {
  public:
    // Asks for confirmation; only the first button (1000) goes on to uninstallProc. Whatever
    // the answer, the application then terminates with the run's exit status: this never
    // returns.
    void applicationDidFinishLaunching(const appkit::Notification& notification) override;

    // Runs the uninstall engine; on success force-quits the product's applications and shows
    // the completion dialog, on a failed removal the error dialog with its number. Answers how
    // the uninstall ended.
    static ExitStatus uninstallProc();

    // Force-quits the first running instance of the resident application and of the updater.
    static void terminatePellinAppAndPellinUIApp();
};
