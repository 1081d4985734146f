#pragma once

// A second program started by a test: with the arguments, environment, working folder and user
// of the test's choosing, its standard input from nothing or from a pseudo-terminal of its own.
// The test reads what it shows, types answers, and learns how it ended. The process is killed by
// its recorded pid when the object goes, so that no test leaves one behind.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pellin::test {

struct RunAs {
    uid_t uid;
    gid_t gid;
};

struct SessionOptions {
    // Standard error without a terminal: with standard output, discarded, this process's, read
    // apart into errors(), or a pipe that nobody reads while the program runs (a console whose
    // reader went away).
    enum class Errors { WithOutput, Discarded, Inherited, Collected, UnreadPipe };

    SessionOptions(std::vector<std::string> arguments, std::vector<std::string> environment = {},
                   bool terminal = true, std::optional<RunAs> runAs = std::nullopt,
                   bool showErrors = true, std::filesystem::path workingDirectory = {})
        : arguments(std::move(arguments)),
          environment(std::move(environment)),
          terminal(terminal),
          runAs(runAs),
          errors(showErrors ? Errors::WithOutput : Errors::Discarded),
          workingDirectory(std::move(workingDirectory)) {}

    std::vector<std::string> arguments;    // arguments[0] is the program's path
    std::vector<std::string> environment;  // the whole environment; empty: this process's
    bool terminal;                         // false: standard input is /dev/null, output a pipe
    std::optional<RunAs> runAs;
    Errors errors;
    std::filesystem::path workingDirectory;
};

class Subprocess {
  public:
    // Returns once the program runs (or has failed to start: pid() is then -1).
    explicit Subprocess(SessionOptions options);
    ~Subprocess();
    Subprocess(Subprocess&& other) noexcept;
    Subprocess& operator=(Subprocess&&) = delete;

    pid_t pid() const { return s_.pid; }
    std::chrono::steady_clock::time_point startedAt() const { return s_.startedAt; }

    // Reads what the program shows until `text` appears after what earlier waits consumed (true),
    // or the output closes, or `limit` passes (false); the limit only keeps a fault from hanging.
    bool waitFor(std::string_view text, std::chrono::seconds limit = std::chrono::seconds(30));
    void type(std::string_view keys);
    const std::string& shown() const { return s_.shown; }
    const std::string& errors() const { return s_.errors; }

    // Waits for the end (killing it after `limit`); the wait status, or -1.
    int finish(std::chrono::seconds limit = std::chrono::seconds(60));
    bool hung() const { return s_.hung; }  // still running at the limit, and killed then
    const rusage& usage() const { return s_.usage; }
    // The running program's largest resident set so far, in KiB (VmHWM); -1 when unknown.
    long peakResidentKib() const;

    // Whether it ended by SIGKILL, waiting at most ten seconds for the end.
    bool diedOfKill();
    // Whether it still runs with no kill pending, so that a kill a moment ago is not survival.
    bool survives();

    // Reads what is there, waiting at most `waitMs` (-1: until something comes): 1 read
    // something, 0 nothing yet, -1 the output has closed.
    int readSome(int waitMs);

  private:
    bool reap(bool block);

    // All of it moves to a new owner, leaving one that owns nothing.
    struct State {
        pid_t pid = -1;
        int output = -1;
        int errorsPipe = -1;
        bool readErrors = false;
        bool hung = false;
        std::string shown;
        std::string errors;
        std::size_t consumed = 0;
        std::optional<int> status;
        rusage usage{};
        std::chrono::steady_clock::time_point startedAt;
    } s_;
};

// Whether a wait status is a normal exit with `code`.
bool exitedWith(int status, int code);

// --- Plain runs, for tests that only want a program's output or its end ---------------------

// Waits for `pid` through interruptions; its exit status, or -1 when it did not exit normally.
int waitForExit(pid_t pid);

// How runProgram runs a program, beyond its arguments.
struct ProgramOptions {
    using Errors = SessionOptions::Errors;

    ProgramOptions(Errors errors = Errors::Inherited, std::chrono::seconds limit = {},
                   std::vector<std::string> environment = {})
        : errors(errors), limit(limit), environment(std::move(environment)) {}

    Errors errors;
    // When not zero, the program is killed if it still runs after this long (a test that gives
    // one runs in a private pid namespace).
    std::chrono::seconds limit;
    // "NAME=value" to set, "NAME" to remove, in the program's copy of this environment.
    std::vector<std::string> environment;
};

struct ProgramRun {
    bool started = false;
    int status = 0;      // The raw wait status.
    std::string output;  // Its whole standard output.
    std::string errors;  // Its standard error, when collected.
    bool hung = false;   // Still running at the limit, and killed then.
    bool exitedWith(int code) const;
};

// Runs a program to its end without a terminal (and without what it left running), in exactly
// `environment`; its wait status and what it printed.
ProgramRun runQuietly(std::vector<std::string> arguments,
                      std::vector<std::string> environment = {"PATH=/usr/bin:/bin:/usr/sbin:/sbin"},
                      bool showErrors = true, std::optional<RunAs> runAs = std::nullopt);

// Gives `path` and everything below it, links themselves included, to `owner`.
inline bool giveTo(const std::filesystem::path& path, const RunAs& owner) {
    const std::string ids = std::to_string(owner.uid) + ":" + std::to_string(owner.gid);
    return runQuietly({"/bin/chown", "-hR", ids, path.string()}).exitedWith(0);
}

// Runs `argv` to its end with its standard output captured, standard input from nothing.
ProgramRun runProgram(const std::vector<std::string>& argv, const ProgramOptions& options = {});

}  // namespace pellin::test
