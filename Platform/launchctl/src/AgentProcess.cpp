#include "AgentProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace launchctl {

namespace {

using Clock = std::chrono::steady_clock;

// How long an agent has to end on SIGTERM before it is killed, and how long we then wait for
// the kernel to finish it off.
constexpr auto kGracePeriod = std::chrono::seconds(2);
constexpr auto kKillWait = std::chrono::seconds(2);
constexpr auto kPollInterval = std::chrono::milliseconds(10);

// The fields of /proc/<pid>/stat this tool needs.
struct ProcessStat {
    char state = '?';
    int processGroup = 0;
    unsigned long long startTime = 0;
};

std::optional<ProcessStat> readStat(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(in, line)) {
        return std::nullopt;
    }
    // The command name in parentheses may hold blanks and parentheses itself; the fields we
    // want follow the last closing one.
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(line.substr(close + 1));
    ProcessStat stat;
    std::string skip;
    int parent = 0;
    fields >> stat.state >> parent >> stat.processGroup;
    // Fields 6 to 21 (session ... itrealvalue), then 22: starttime.
    for (int field = 6; field <= 21; ++field) {
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

// Whether any process of the group still runs; zombies do not count, as nobody may be
// reaping them.
bool groupHasLiveMembers(int processGroup) {
    std::error_code error;
    // Incremented with an error code: processes come and go while /proc is read.
    for (std::filesystem::directory_iterator it("/proc", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::optional<ProcessStat> stat = readStat(name);
        if (stat && stat->processGroup == processGroup && isLive(*stat)) {
            return true;
        }
    }
    return false;
}

bool waitForGroupToEnd(int processGroup, Clock::duration bound) {
    const Clock::time_point deadline = Clock::now() + bound;
    while (groupHasLiveMembers(processGroup)) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
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

    AgentRecord record;
    record.label = agent.label;
    record.pid = pid;
    const std::optional<ProcessStat> stat = readStat(std::to_string(pid));
    record.startTime = stat ? stat->startTime : 0;
    return record;
}

bool isRunning(const AgentRecord& record) {
    const std::optional<ProcessStat> stat = readStat(std::to_string(record.pid));
    return stat && isLive(*stat) && stat->startTime == record.startTime;
}

void stopAgent(const AgentRecord& record) {
    const std::optional<ProcessStat> leader = readStat(std::to_string(record.pid));
    // A live process under that pid that started at another time took the pid over after
    // ours ended: neither it nor its group is ours.
    if (leader && isLive(*leader) && leader->startTime != record.startTime) {
        return;
    }
    // Otherwise the group is ours: its leader still runs, or it has ended and left members
    // behind, which keep the number from being handed out again.
    const int group = record.pid;
    if (!groupHasLiveMembers(group)) {
        return;
    }
    ::kill(-group, SIGTERM);
    if (waitForGroupToEnd(group, kGracePeriod)) {
        return;
    }
    ::kill(-group, SIGKILL);
    waitForGroupToEnd(group, kKillWait);
}

}  // namespace launchctl
