#include "AgentProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include <PellinFoundation/FileManager.h>

extern char** environ;

namespace launchctl {

namespace {

using Clock = std::chrono::steady_clock;

// How long an agent has to end on SIGTERM before it is killed, and how long we then wait for
// the kernel to finish it off.
constexpr auto kGracePeriod = std::chrono::seconds(2);
constexpr auto kKillWait = std::chrono::seconds(2);
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr std::size_t kLargestProcFile = 64 * 1024;

// The fields of /proc/<pid>/stat this tool needs.
struct ProcessStat {
    char state = '?';
    int processGroup = 0;
    int session = 0;
    unsigned long long startTime = 0;
};

std::string procPath(int pid, const char* file) {
    return "/proc/" + std::to_string(pid) + "/" + file;
}

std::optional<std::string> procFile(int pid, const char* file) {
    return foundation::FileManager::contentsOfRegularFileAtPath(procPath(pid, file),
                                                                kLargestProcFile);
}

std::optional<ProcessStat> readStat(int pid) {
    const std::optional<std::string> line = procFile(pid, "stat");
    // The command name in parentheses may hold blanks and parentheses itself; the fields we
    // want follow the last closing one.
    const std::size_t close = line ? line->rfind(')') : std::string::npos;
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(line->substr(close + 1));
    ProcessStat stat;
    std::string skip;
    int parent = 0;
    fields >> stat.state >> parent >> stat.processGroup >> stat.session;
    // Fields 7 to 21 (tty_nr ... itrealvalue), then 22: starttime.
    for (int field = 7; field <= 21; ++field) {
        fields >> skip;
    }
    fields >> stat.startTime;
    if (!fields) {
        return std::nullopt;
    }
    return stat;
}

bool isLive(const ProcessStat& stat) {
    return stat.state != 'Z' && stat.state != 'X';
}

// Whether every user id of the process (real, effective, saved, file system) is `owner`: a
// program that gained rights from a set-user-id file is not the owner's to signal.
bool belongsTo(int pid, uid_t owner) {
    const std::optional<std::string> status = procFile(pid, "status");
    const std::size_t line = status ? status->find("\nUid:") : std::string::npos;
    if (line == std::string::npos) {
        return false;
    }
    std::istringstream ids(status->substr(line + 5, status->find('\n', line + 1) - line - 5));
    int count = 0;
    for (unsigned long id = 0; ids >> id; ++count) {
        if (id != owner) {
            return false;
        }
    }
    return count == 4;
}

std::optional<ExecutableIdentity> executableOf(int pid) {
    struct stat info {};
    if (::stat(procPath(pid, "exe").c_str(), &info) != 0) {
        return std::nullopt;
    }
    return ExecutableIdentity{info.st_dev, info.st_ino};
}

// The recorded agent itself, still running: see isRunning().
bool isRecordedAgent(const AgentRecord& record, uid_t owner, const ProcessStat& stat) {
    return record.pid > 1 && record.executable && isLive(stat) &&
           stat.startTime == record.startTime && stat.processGroup == record.pid &&
           stat.session == record.pid && belongsTo(record.pid, owner) &&
           executableOf(record.pid) == record.executable;
}

// A process of the recorded agent's group: started by the agent or its children, so in its
// session and group, no earlier than the agent, and the owner's.
bool isGroupMember(const AgentRecord& record, uid_t owner, int pid, const ProcessStat& stat) {
    return isLive(stat) && stat.processGroup == record.pid && stat.session == record.pid &&
           stat.startTime >= record.startTime &&
           (pid != record.pid || stat.startTime == record.startTime) && belongsTo(pid, owner);
}

// Closes its pidfd when it goes out of scope. The system calls are made directly: the C
// library's header of this version declares them without C linkage.
class Pidfd {
  public:
    explicit Pidfd(int pid) : fd_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0))) {}
    ~Pidfd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Pidfd(Pidfd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Pidfd& operator=(Pidfd&&) = delete;
    Pidfd(const Pidfd&) = delete;
    Pidfd& operator=(const Pidfd&) = delete;
    bool valid() const { return fd_ >= 0; }
    void signal(int number) const { ::syscall(SYS_pidfd_send_signal, fd_, number, nullptr, 0); }

  private:
    int fd_;
};

// A pidfd for `pid` when the process passes `check` after the pidfd was opened: the pidfd then
// names exactly the checked process, even if the pid is reused before the signal.
template <class Check>
std::optional<Pidfd> openChecked(int pid, const Check& check) {
    if (pid <= 1) {
        return std::nullopt;
    }
    Pidfd fd(pid);
    if (!fd.valid()) {
        return std::nullopt;
    }
    const std::optional<ProcessStat> stat = readStat(pid);
    if (!stat || !check(*stat)) {
        return std::nullopt;
    }
    return fd;
}

// The live processes of the agent's group, each checked through its own pidfd.
std::vector<Pidfd> groupMembers(const AgentRecord& record, uid_t owner) {
    std::vector<Pidfd> members;
    std::error_code error;
    // Incremented with an error code: processes come and go while /proc is read.
    for (std::filesystem::directory_iterator it("/proc", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const int pid = std::stoi(name);
        const std::optional<ProcessStat> first = readStat(pid);
        if (!first || first->processGroup != record.pid) {
            continue;
        }
        auto member = openChecked(
            pid, [&](const ProcessStat& stat) { return isGroupMember(record, owner, pid, stat); });
        if (member) {
            members.push_back(std::move(*member));
        }
    }
    return members;
}

// Signals the group's members until none is left, or until `bound` has passed.
bool signalGroupUntilItEnds(const AgentRecord& record, uid_t owner, int signal,
                            Clock::duration bound) {
    const Clock::time_point deadline = Clock::now() + bound;
    for (bool first = true;; first = false) {
        const std::vector<Pidfd> members = groupMembers(record, owner);
        if (members.empty()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        // Once each: a member that ignores SIGTERM is not asked again and again; one started
        // meanwhile still gets SIGKILL, which is sent every round.
        if (first || signal == SIGKILL) {
            for (const Pidfd& member : members) {
                member.signal(signal);
            }
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (std::string& text : texts) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

}  // namespace

std::optional<AgentRecord> startAgent(const LaunchAgent& agent, std::string& failure) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> arguments = agent.arguments;
    const std::vector<char*> argv = pointers(arguments);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawnp(&pid, agent.program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        failure = agent.program + ": " + std::strerror(spawned);
        return std::nullopt;
    }

    // posix_spawn returns once the program has been executed, so /proc already shows it.
    AgentRecord record;
    record.label = agent.label;
    record.pid = pid;
    const std::optional<ProcessStat> stat = readStat(pid);
    record.startTime = stat ? stat->startTime : 0;
    record.executable = executableOf(pid);
    return record;
}

bool isRunning(const AgentRecord& record, uid_t owner) {
    const std::optional<ProcessStat> stat =
        record.pid > 1 ? readStat(record.pid) : std::optional<ProcessStat>();
    return stat && isRecordedAgent(record, owner, *stat);
}

void stopAgent(const AgentRecord& record, uid_t owner) {
    const std::optional<Pidfd> agent = openChecked(
        record.pid, [&](const ProcessStat& stat) { return isRecordedAgent(record, owner, stat); });
    if (!agent) {
        return;  // not ours, or no longer running: nothing to signal
    }
    if (!signalGroupUntilItEnds(record, owner, SIGTERM, kGracePeriod)) {
        signalGroupUntilItEnds(record, owner, SIGKILL, kKillWait);
    }
}

}  // namespace launchctl
