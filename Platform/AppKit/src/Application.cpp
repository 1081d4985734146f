#include <PellinAppKit/Application.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <PellinAppKit/RunningApplication.h>
#include <PellinLumberjack/DDLog.h>

#include "DisplayProbe.h"
#include "QtModule.h"

namespace appkit {
namespace {

std::atomic<bool> qtLoopRunning{false};

void finishLaunching(ApplicationDelegate& delegate) {
    delegate.applicationDidFinishLaunching(Notification{ApplicationDidFinishLaunchingNotification});
}

int runPlainLoop(const DelegateFactory& makeDelegate) {
    const std::unique_ptr<ApplicationDelegate> delegate = makeDelegate ? makeDelegate() : nullptr;
    if (!delegate) {
        return 1;
    }
    // Nothing else can arrive without a display: once the delegate is done, so is the loop.
    finishLaunching(*delegate);
    return 0;
}

int runQtLoop(const detail::QtModuleInterface& module, int argc, char** argv,
              const std::string& platform, const DelegateFactory& makeDelegate) {
    qtLoopRunning = true;
    const int status = module.runApplication(argc, argv, platform, makeDelegate);
    qtLoopRunning = false;
    return status;
}

}  // namespace

int Application::run(int argc, char** argv, const DelegateFactory& makeDelegate) {
    // Before anything can remove a bundle, so that its processes are still known afterwards.
    RunningApplication::rememberRunningApplications();
    // The same probe the alert presenters use, so that a Qt loop runs exactly when dialogs will
    // be Qt windows; a verified platform has the Qt module loaded already.
    const std::optional<std::string> platform = verifiedQtPlatform();
    if (const detail::QtModuleInterface* module = platform ? detail::qtModule() : nullptr) {
        return runQtLoop(*module, argc, argv, *platform, makeDelegate);
    }
    return runPlainLoop(makeDelegate);
}

void Application::terminate(int exitStatus) {
    lumberjack::DDLog::flushLog();
    std::fflush(nullptr);
    // Nothing is left to do once the log is written; skipping the destructors of Qt's and the
    // libraries' globals keeps the end of the process free of their teardown order.
    std::_Exit(exitStatus);
}

bool Application::isGraphical() {
    return qtLoopRunning;
}

bool Application::displayAvailable() {
    return verifiedQtPlatform().has_value();
}

int applicationMain(int argc, char** argv, const DelegateFactory& makeDelegate) {
    return Application::run(argc, argv, makeDelegate);
}

}  // namespace appkit
