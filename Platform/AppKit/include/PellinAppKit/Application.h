#pragma once

// The application object and its event loop: the Qt application when a display is available
// and the Qt presenter module loads (so that dialogs can be shown as windows), a plain loop that
// needs nothing of Qt otherwise.

#include <functional>
#include <memory>

#include <PellinAppKit/ApplicationDelegate.h>
#include <PellinFoundation/Export.h>

namespace appkit {

using DelegateFactory = std::function<std::unique_ptr<ApplicationDelegate>()>;

class PELLIN_EXPORT Application {
  public:
    Application() = delete;

    // Notes the running applications (see RunningApplication), creates the shared application
    // and the delegate, and runs the event loop, which calls the delegate's
    // applicationDidFinishLaunching once. Returns the loop's exit value when the loop ends
    // without terminate(): the plain loop ends once the delegate has returned, the Qt loop when
    // Qt is told to quit. A factory that makes no delegate ends the loop at once with 1.
    static int run(int argc, char** argv, const DelegateFactory& makeDelegate);

    // Ends the process with `exitStatus` once the log facility has written every line handed
    // to it. Never returns.
    [[noreturn]] static void terminate(int exitStatus = 0);

    // Whether the running loop is Qt's, that is, whether windows can be shown.
    static bool isGraphical();

    // Whether a display can be reached (see QtAlertPresenter::displayAvailable).
    static bool displayAvailable();
};

// The entry point's hand-over to the application: Application::run.
PELLIN_EXPORT int applicationMain(int argc, char** argv, const DelegateFactory& makeDelegate);

}  // namespace appkit
