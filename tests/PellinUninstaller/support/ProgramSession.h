#pragma once

// One run of a program as a user would start it: on a pseudo-terminal of its own (or with no
// terminal at all), with an environment of the test's choosing, optionally as another user. The
// test reads what the program shows, types answers, and collects how it ended.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/FakeApplication.h"

namespace pellin::test {

struct SessionOptions {
    std::vector<std::string> arguments;    // arguments[0] is the program's path
    std::vector<std::string> environment;  // the whole environment, "NAME=value"
    bool terminal = true;                  // false: standard input is /dev/null
    std::optional<RunAs> runAs;
    // Without a terminal: whether standard error is shown with standard output, or dropped.
    bool showErrors = true;
};

class ProgramSession {
  public:
    explicit ProgramSession(SessionOptions options);
    ~ProgramSession();
    ProgramSession(const ProgramSession&) = delete;
    ProgramSession& operator=(const ProgramSession&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    std::chrono::steady_clock::time_point startedAt() const { return startedAt_; }

    // Reads what the program shows until `text` has appeared after what earlier waits consumed
    // (true), or the program has closed the terminal, or `limit` has passed (false). The limit
    // only keeps a fault from hanging the suite.
    bool waitFor(std::string_view text, std::chrono::seconds limit = std::chrono::seconds(30));
    // Keys typed on the terminal.
    void type(std::string_view keys);
    // Everything shown so far.
    const std::string& shown() const { return shown_; }

    // Waits for the program to end (killing it after `limit`), reads what it still showed, and
    // answers its wait status; the program's resource usage is in usage() afterwards.
    int finish(std::chrono::seconds limit = std::chrono::seconds(60));
    const rusage& usage() const { return usage_; }
    // The running program's largest resident set so far, in KiB (VmHWM); -1 when unknown. Unlike
    // usage().ru_maxrss it counts the program alone, not the pages of this process that the
    // forked child held before it started the program.
    long peakResidentKib() const;

  private:
    enum class Read { Data, Nothing, Closed };
    Read readSome(std::chrono::milliseconds wait);
    bool reapIfEnded(bool block);

    pid_t pid_ = -1;
    int controller_ = -1;
    std::string shown_;
    std::size_t consumed_ = 0;
    std::optional<int> status_;
    rusage usage_{};
    std::chrono::steady_clock::time_point startedAt_;
};

// Whether a wait status is a normal exit with `code`.
bool exitedWith(int status, int code);

// The environment a user's fresh terminal session would have: HOME, PATH, a terminal type and
// an English locale, nothing of the test's display.
std::vector<std::string> userEnvironment(const std::string& home,
                                         const std::vector<std::string>& extra = {});

}  // namespace pellin::test
