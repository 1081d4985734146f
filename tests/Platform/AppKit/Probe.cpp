// What the AppKit tests run in a process of its own, because it ends the process or depends on
// the process's environment; it reports on standard output what happened.
//
//   AppKitProbe alert <message> <button title>...    one alert, "response=<answer>"
//   AppKitProbe launch <return|terminate> [<lines to log>]
//   AppKitProbe no-delegate
//   AppKitProbe remembers <bundle folder to remove> <bundle identifier>
//   AppKitProbe network-alert    the framework's version number and network alert message

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include <PellinAppKit/Alert.h>
#include <PellinAppKit/Application.h>
#include <PellinAppKit/RunningApplication.h>
#include <PellinCommonFramework/PellinCommonFramework.h>
#include <PellinLumberjack/DDAbstractLogger.h>
#include <PellinLumberjack/DDLog.h>

#include "RecordingPresenter.h"

namespace {

void say(const std::string& text) {
    const std::string line = text + "\n";
    [[maybe_unused]] const ssize_t written = write(STDOUT_FILENO, line.data(), line.size());
}

// A sink slow enough that lines are still queued when the delegate ends the application.
class SlowFileSink : public lumberjack::DDAbstractLogger {
  public:
    explicit SlowFileSink(const std::filesystem::path& path) : out_(path, std::ios::app) {}

  protected:
    void writeLine(std::string_view line) override {
        usleep(300);
        out_ << line << '\n' << std::flush;
    }

  private:
    std::ofstream out_;
};

class LaunchDelegate : public appkit::ApplicationDelegate {
  public:
    LaunchDelegate(bool terminate, int lines) : terminate_(terminate), lines_(lines) {}

    void applicationDidFinishLaunching(const appkit::Notification& notification) override {
        ++launches_;
        say("launched " + notification.name + " count=" + std::to_string(launches_) +
            " graphical=" + (appkit::Application::isGraphical() ? "yes" : "no"));
        if (lines_ > 0) {
            const char* home = std::getenv("HOME");
            lumberjack::DDLog::addLogger(std::make_shared<SlowFileSink>(
                std::filesystem::path(home ? home : ".") / "probe.log"));
            for (int i = 1; i <= lines_; ++i) {
                lumberjack::DDLog::log(true, 7, lumberjack::DDLogFlagInfo, 0, __FILE__,
                                       "-[LaunchDelegate applicationDidFinishLaunching:]", __LINE__,
                                       nullptr, "line " + std::to_string(i));
            }
        }
        if (terminate_) {
            appkit::Application::terminate();
        }
    }

  private:
    bool terminate_;
    int lines_;
    int launches_ = 0;
};

class RemembersDelegate : public appkit::ApplicationDelegate {
  public:
    RemembersDelegate(std::string bundle, std::string identifier)
        : bundle_(std::move(bundle)), identifier_(std::move(identifier)) {}

    void applicationDidFinishLaunching(const appkit::Notification&) override {
        std::error_code ignored;
        std::filesystem::remove_all(bundle_, ignored);
        std::string pids = "found";
        for (const auto& application :
             appkit::RunningApplication::runningApplicationsWithBundleIdentifier(identifier_)) {
            pids += " " + std::to_string(application.processIdentifier());
        }
        say(pids);
        appkit::Application::terminate();
    }

  private:
    std::string bundle_;
    std::string identifier_;
};

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    appkit::DelegateFactory factory;
    if (mode == "alert") {
        appkit::Alert alert;
        alert.setMessageText(argc > 2 ? argv[2] : "");
        for (int i = 3; i < argc; ++i) {
            alert.addButtonWithTitle(argv[i]);
        }
        say("response=" + std::to_string(alert.runModal()));
        return 0;
    } else if (mode == "network-alert") {
        // Built without position-independent code, the probe holds a copy of the framework's
        // exported version number; the alert's texts must still be the framework's own.
        const auto presenter = pellin::test::RecordingPresenter::install();
        PellinAlert::showNetworkConnectionErrorAlertWithRetryButton();
        std::printf("version=%.1f\nmessage=%s\n", PellinCommonFrameworkVersionNumber,
                    presenter->shown.empty() ? "" : presenter->shown[0].messageText().c_str());
        appkit::AlertPresenter::setReplacement(nullptr);
        return 0;
    } else if (mode == "launch" && argc > 2) {
        const bool terminate = std::string_view(argv[2]) == "terminate";
        const int lines = argc > 3 ? std::atoi(argv[3]) : 0;
        factory = [terminate, lines] { return std::make_unique<LaunchDelegate>(terminate, lines); };
    } else if (mode == "no-delegate") {
        factory = [] { return std::unique_ptr<appkit::ApplicationDelegate>(); };
    } else if (mode == "remembers" && argc > 3) {
        factory = [bundle = std::string(argv[2]), identifier = std::string(argv[3])] {
            return std::make_unique<RemembersDelegate>(bundle, identifier);
        };
    } else {
        std::fputs("usage: AppKitProbe alert|launch|no-delegate|remembers|network-alert ...\n",
                   stderr);
        return 64;
    }
    const int status = appkit::applicationMain(argc, argv, factory);
    say("loop returned " + std::to_string(status));
    return status;
}
