// What the tests run in a process of its own, because it ends the process or depends on the
// process's environment; it reports on standard output what happened.
//
//   AppKitProbe alert <message> <button title>...    one alert, "response=<answer>"
//   AppKitProbe launch <return|terminate> [<lines to log>]
//   AppKitProbe no-delegate
//   AppKitProbe remembers <bundle folder to remove> <bundle identifier>
//   AppKitProbe network-alert    the framework's version number and network alert
//   AppKitProbe exit|return|quick_exit|fork|console <count>    <count> lines "line <number>
//     xxx...xxx end" to the file sink (console: to standard error), then it ends that way (fork:
//     with 200 children forked on the way that log "child" and call exit(0))
//   AppKitProbe fulldisk    lines of many lengths before, while and after $HOME/filler fills the
//     disk
//   AppKitProbe burst    lines until it is killed, in files of the default size
//   AppKitProbe setup|consolesetup|syslogsetup    sets up logging as a program does (all of it, or
//     the console or system-log sink at level 31), prints ddLogLevel, logs a line at every level

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
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
#include <PellinLog/PellinLogCall.h>
#include <PellinLog/PellinLogger.h>
#include <PellinLumberjack/DDFileLogger.h>
#include <PellinLumberjack/DDTTYLogger.h>

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

void logLine(long number, std::size_t width = 80) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "line %07ld ", number);
    lumberjack::DDLog::log(true, 31, lumberjack::DDLogFlagInfo, 0, __FILE__, "+[Probe logLine:]",
                           __LINE__, nullptr, prefix + std::string(width, 'x') + " end");
}

// Lines long and short, so that some cross a page of the file while the disk is full.
void logLinesOfManyLengths(long from, long to) {
    for (long number = from; number < to; ++number) {
        logLine(number, static_cast<std::size_t>(50 + (number * 397) % 2500));
    }
    lumberjack::DDLog::flushLog();
}

int fillTheDiskBetweenLines() {
    const std::string filler = std::string(std::getenv("HOME")) + "/filler";
    logLinesOfManyLengths(0, 100);
    const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::string block(4096, 'f');
    while (fd >= 0 && write(fd, block.data(), block.size()) > 0) {
    }
    close(fd);
    logLinesOfManyLengths(100, 200);
    unlink(filler.c_str());
    logLinesOfManyLengths(200, 300);
    return 0;
}

int setUpLogging(const std::string& mode) {
    if (mode == "setup") {
        PellinLogger::setup();
    } else {
        mode == "consolesetup" ? PellinLogger::setupConcoleLogger(ULONG_MAX)
                               : PellinLogger::setupAppleSystemLogger(ULONG_MAX);
        ddLogLevel = 31;
    }
    say(std::to_string(ddLogLevel));
    PELLIN_METHOD("+[Probe logEveryLevel]");
    DDLogDebug("Start %@", pellinMethod.selector());
    DDLogError("Error %@ code = %ld", "x", 2L);
    DDLogWarn("Warning %hd", static_cast<short>(-1));
    DDLogInfo("%@ isExist=%@", "path", "YES");
    DDLogVerbose("verbose %d", 1);
    DDLogDebug("End %@", pellinMethod.selector());
    return 0;
}

int logAndEnd(const std::string& mode, long count) {
    auto file = std::make_shared<lumberjack::DDFileLogger>();
    file->setMaximumFileSize(mode == "burst" ? file->maximumFileSize() : 0);  // 0: one file
    lumberjack::DDLog::addLogger(mode == "console"
                                     ? lumberjack::DDTTYLogger::sharedInstance()
                                     : std::shared_ptr<lumberjack::DDAbstractLogger>(file));
    if (mode == "fulldisk") {
        return fillTheDiskBetweenLines();
    }
    for (long number = 0; mode == "burst" || number < count; ++number) {
        logLine(number);
        if (mode == "fork" && number == 0) {
            lumberjack::DDLog::flushLog();  // the file exists before any child could start one
        }
        if (mode == "fork" && number % (count / 200 + 1) == 0) {
            if (const pid_t pid = fork(); pid == 0) {
                lumberjack::DDLog::log(true, 31, lumberjack::DDLogFlagInfo, 0, nullptr, nullptr, 0,
                                       nullptr, "child");
                std::exit(0);
            } else {
                waitpid(pid, nullptr, 0);
            }
        }
    }
    if (mode == "quick_exit") {
        std::quick_exit(0);
    }
    if (mode != "return") {
        std::exit(0);
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    appkit::DelegateFactory factory;
    if (mode.ends_with("setup")) {
        return setUpLogging(mode);
    } else if (mode == "exit" || mode == "return" || mode == "quick_exit" || mode == "fork" ||
               mode == "console" || mode == "fulldisk" || mode == "burst") {
        return logAndEnd(mode, argc > 2 ? std::atol(argv[2]) : 0);
    } else if (mode == "alert") {
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
        std::printf("version=%.1f\n%s\n", PellinCommonFrameworkVersionNumber,
                    pellin::test::describe(presenter->shown.at(0)).c_str());
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
        std::fputs("usage: AppKitProbe <subcommand> ... (see Probe.cpp)\n", stderr);
        return 64;
    }
    const int status = appkit::applicationMain(argc, argv, factory);
    say("loop returned " + std::to_string(status));
    return status;
}
