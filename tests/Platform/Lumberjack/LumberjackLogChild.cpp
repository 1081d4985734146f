// A program that logs through the facility and then ends as its arguments say, for the tests
// of what a process leaves in its log file when it ends:
//
//   LumberjackLogChild exit <count>        <count> asynchronous lines, then exit(0)
//   LumberjackLogChild return <count>      <count> asynchronous lines, then return from main
//   LumberjackLogChild quick_exit <count>  <count> asynchronous lines, then quick_exit(0)
//   LumberjackLogChild fork <count>        the same as exit, with 200 children forked on the way
//                                          that call exit(0) at once
//   LumberjackLogChild console <count>     the same as exit, to the console sink only
//   LumberjackLogChild fulldisk            lines of many lengths before, while and after
//                                          $HOME/filler takes all the room its disk has left
//   LumberjackLogChild burst               lines until it is killed, in files of the default size
//
// Lines are "line <number> xxx...xxx end", in $HOME/Library/Logs/LumberjackLogChild/; all have
// 80 "x" but those of fulldisk.

#include <PellinLumberjack/DDFileLogger.h>
#include <PellinLumberjack/DDLog.h>
#include <PellinLumberjack/DDTTYLogger.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

void logLine(long number, std::size_t width = 80) {
    lumberjack::DDLog::log(true, 31, lumberjack::DDLogFlagInfo, 0, __FILE__, "+[Child logLine:]",
                           __LINE__, nullptr,
                           "line " + std::string(7 - std::to_string(number).size(), '0') +
                               std::to_string(number) + " " + std::string(width, 'x') + " end");
}

void forkAChildThatExits() {
    const pid_t pid = fork();
    if (pid == 0) {
        std::exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
}

// Lines long and short, so that some cross a page of the file while the disk is full.
void logLinesOfManyLengths(long from, long to) {
    for (long number = from; number < to; ++number) {
        logLine(number, static_cast<std::size_t>(50 + (number * 397) % 2500));
    }
    lumberjack::DDLog::flushLog();
}

void fillTheDisk(const std::string& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::string block(4096, 'f');
    while (fd >= 0 && write(fd, block.data(), block.size()) > 0) {
    }
    close(fd);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        return 2;
    }
    const std::string mode = argv[1];
    const long count = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
    if (mode == "console") {
        lumberjack::DDLog::addLogger(lumberjack::DDTTYLogger::sharedInstance());
    } else {
        auto logger = std::make_shared<lumberjack::DDFileLogger>();
        if (mode != "burst") {
            logger->setMaximumFileSize(0);  // every line in one file, to count them
        }
        lumberjack::DDLog::addLogger(logger);
    }
    if (mode == "burst") {
        for (long number = 0;; ++number) {
            logLine(number);
        }
    }
    if (mode == "fulldisk") {
        const std::string filler = std::string(std::getenv("HOME")) + "/filler";
        logLinesOfManyLengths(0, 100);
        fillTheDisk(filler);
        logLinesOfManyLengths(100, 200);
        unlink(filler.c_str());
        logLinesOfManyLengths(200, 300);
        return 0;
    }
    for (long number = 0; number < count; ++number) {
        logLine(number);
        if (mode == "fork" && number % (count / 200 + 1) == 0) {
            forkAChildThatExits();
        }
    }
    if (mode == "exit" || mode == "fork" || mode == "console") {
        std::exit(0);
    }
    if (mode == "quick_exit") {
        std::quick_exit(0);
    }
    return mode == "return" ? 0 : 2;
}
