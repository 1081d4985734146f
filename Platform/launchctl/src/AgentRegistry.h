#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace launchctl {

// The program a process runs, as the kernel names it: device and inode.
struct ExecutableIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    friend bool operator==(const ExecutableIdentity&, const ExecutableIdentity&) = default;
};

// One loaded agent: the process we started, by what tells it from any other (its pid, its
// kernel start time, the program it runs), and the property list it was loaded from. The user
// can write records, so a record alone proves nothing: see AgentProcess.h.
struct AgentRecord {
    std::string label;
    int pid = 0;
    unsigned long long startTime = 0;
    std::optional<ExecutableIdentity> executable;  // absent in records of older versions
    std::string plistPath;                         // as normalizedPlistPath() gave it at load
};

// The user's loaded agents, one small file per label in the state folder
// ($XDG_STATE_HOME/pellin-launchctl, else ~/.local/state/pellin-launchctl). Kept on disk
// because every launchctl command is a process of its own; kept per user because agents are.
//
// The folder and everything in it may have been planted by the user, and this tool may run as
// root with the user's HOME: every folder below the home is opened without following a link
// and must belong to the home's owner; the state folder is 0700 and its files 0600; files are
// opened relative to the folder, never through a link, and only regular files are read, with a
// size cap. What root creates there is given to the home's owner.
class AgentRegistry {
  public:
    // Opens the registry and holds its lock until destroyed, so that two commands never
    // start or stop the same agent at once. Only `load` creates the state folder: without one
    // nothing was ever loaded, and a command that only looks leaves no trace. nullopt with
    // `failure` set when it cannot open.
    enum class Mode { Create, ExistingOnly };
    static std::optional<AgentRegistry> open(Mode mode, uid_t owner, std::string& failure);
    ~AgentRegistry();
    AgentRegistry(AgentRegistry&& other) noexcept;
    AgentRegistry& operator=(AgentRegistry&&) = delete;
    AgentRegistry(const AgentRegistry&) = delete;
    AgentRegistry& operator=(const AgentRegistry&) = delete;

    std::optional<AgentRecord> find(const std::string& label) const;
    // The record of the agent loaded from `plistPath` (normalized), whatever its label.
    std::optional<AgentRecord> findLoadedFrom(const std::string& plistPath) const;
    std::vector<AgentRecord> all() const;
    // Written to a temporary file and renamed, so a reader never sees half a record.
    bool remember(const AgentRecord& record, std::string& failure) const;
    void forget(const std::string& label) const;

  private:
    AgentRegistry(int folderFd, int lockFd);

    int folderFd_ = -1;  // -1: no state folder, nothing was ever loaded
    int lockFd_ = -1;
};

// `path` as it is recorded and compared: absolute, with its folder's links resolved, so that
// it still names the same property list once the file itself is gone.
std::string normalizedPlistPath(const std::string& path);

}  // namespace launchctl
