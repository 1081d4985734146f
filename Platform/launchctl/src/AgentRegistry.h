#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace launchctl {

// One loaded agent: the process we started, by its pid and its kernel start time, so that a
// reused pid is never mistaken for it.
struct AgentRecord {
    std::string label;
    int pid = 0;
    unsigned long long startTime = 0;
};

// The user's loaded agents, one small file per label in the state folder
// ($XDG_STATE_HOME/pellin-launchctl, else ~/.local/state/pellin-launchctl). Kept on disk
// because every launchctl command is a process of its own; kept per user because agents are.
class AgentRegistry {
  public:
    // Opens the registry and holds its lock until destroyed, so that two commands never
    // start or stop the same agent at once. Only `load` creates the state folder: without one
    // nothing was ever loaded, and a command that only looks leaves no trace. nullopt with
    // `failure` set when it cannot open.
    enum class Mode { Create, ExistingOnly };
    static std::optional<AgentRegistry> open(Mode mode, std::string& failure);
    ~AgentRegistry();
    AgentRegistry(AgentRegistry&& other) noexcept;
    AgentRegistry& operator=(AgentRegistry&&) = delete;
    AgentRegistry(const AgentRegistry&) = delete;
    AgentRegistry& operator=(const AgentRegistry&) = delete;

    std::optional<AgentRecord> find(const std::string& label) const;
    std::vector<AgentRecord> all() const;
    // Written to a temporary file and renamed, so a reader never sees half a record.
    bool remember(const AgentRecord& record, std::string& failure) const;
    void forget(const std::string& label) const;

  private:
    AgentRegistry(std::filesystem::path folder, int lockFd);
    std::filesystem::path recordPath(const std::string& label) const;

    std::filesystem::path folder_;
    int lockFd_ = -1;
};

}  // namespace launchctl
