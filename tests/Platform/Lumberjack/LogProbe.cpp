// A program that logs, for the tests of the log facility and of logging setup. Its subcommands:
//   exit|return|quick_exit|fork|console <count>: <count> lines "line <number> xxx...xxx end" to
//     the file sink (console: to standard error), then it ends that way (fork: with 200 children
//     forked on the way that log "child" and call exit(0));
//   fulldisk: lines of many lengths before, while and after $HOME/filler fills the disk;
//   burst: lines until it is killed, in files of the default size;
//   setup|consolesetup|syslogsetup: sets up logging as a program does (all of it, or the console
//     or system-log sink at level 31), prints ddLogLevel and logs one line at every level.

#include <PellinLog/PellinLogCall.h>
#include <PellinLog/PellinLogger.h>
#include <PellinLumberjack/DDFileLogger.h>
#include <PellinLumberjack/DDTTYLogger.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

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

class Probe {
  public:
    static void logEveryLevel() {
        PELLIN_METHOD("+[Probe logEveryLevel]");
        DDLogDebug("Start %@", pellinMethod.selector());
        DDLogError("Error %@ code = %ld", "x", 2L);
        DDLogWarn("Warning %hd", static_cast<short>(-1));
        DDLogInfo("%@ isExist=%@", "path", "YES");
        DDLogVerbose("verbose %d", 1);
        DDLogDebug("End %@", pellinMethod.selector());
    }
};

int setUp(const std::string& mode) {
    if (mode == "setup") {
        PellinLogger::setup();
    } else {
        mode == "consolesetup" ? PellinLogger::setupConcoleLogger(ULONG_MAX)
                               : PellinLogger::setupAppleSystemLogger(ULONG_MAX);
        ddLogLevel = 31;
    }
    std::printf("%d\n", ddLogLevel);
    std::fflush(stdout);
    Probe::logEveryLevel();
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const long long count = argc > 2 ? std::strtoll(argv[2], nullptr, 10) : 0;
    if (mode.ends_with("setup")) {
        return setUp(mode);
    }
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
