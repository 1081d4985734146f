#include <PellinAppKit/Application.h>

#include <QApplication>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <PellinAppKit/RunningApplication.h>
#include <PellinLumberjack/DDLog.h>

#include "DisplayProbe.h"

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

int runQtLoop(int argc, char** argv, const std::string& platform,
              const DelegateFactory& makeDelegate) {
    // QApplication keeps references to both for its whole life, and needs a program name.
    static char fallbackName[] = "application";
    static char platformOption[] = "-platform";
    static std::string platformName;
    platformName = platform;
    std::vector<char*> arguments;
    if (argc > 0 && argv != nullptr) {
        arguments.assign(argv, argv + argc);
    } else {
        arguments.push_back(fallbackName);
    }
    // Named on the command line, which Qt prefers to QT_QPA_PLATFORM: only the platform that was
    // verified to start, never one Qt would have to try.
    arguments.insert(arguments.end(), {platformOption, platformName.data()});
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);

    QApplication application(count, arguments.data());
    // Closing a dialog must not end the loop: Qt's quit would also close the next modal dialog's
    // own loop.
    QApplication::setQuitOnLastWindowClosed(false);
    const std::unique_ptr<ApplicationDelegate> delegate = makeDelegate ? makeDelegate() : nullptr;
    if (!delegate) {
        return 1;
    }
    qtLoopRunning = true;
    QTimer::singleShot(0, &application, [&delegate] { finishLaunching(*delegate); });
    const int status = QApplication::exec();
    qtLoopRunning = false;
    return status;
}

}  // namespace

int Application::run(int argc, char** argv, const DelegateFactory& makeDelegate) {
    // Before anything can remove a bundle, so that its processes are still known afterwards.
    RunningApplication::rememberRunningApplications();
    // The same probe the alert presenters use, so that a Qt loop runs exactly when dialogs will
    // be Qt windows.
    if (const std::optional<std::string> platform = verifiedQtPlatform()) {
        return runQtLoop(argc, argv, *platform, makeDelegate);
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
