#pragma once

#include <optional>
#include <string>

#include "AgentRegistry.h"
#include "LaunchAgentPlist.h"

namespace launchctl {

// Starts the agent's program in a session and process group of its own, detached from our
// terminal and outputs, so that it outlives this command and can be stopped as one group.
// The record to remember, or nullopt with `failure` set.
std::optional<AgentRecord> startAgent(const LaunchAgent& agent, std::string& failure);

// Whether the recorded process still runs: same pid, same start time, and not a zombie.
bool isRunning(const AgentRecord& record);

// Stops the agent's whole process group: SIGTERM, then SIGKILL to whatever is left after the
// grace period. Returns once no process of the group runs any more (or after a last bound).
void stopAgent(const AgentRecord& record);

}  // namespace launchctl
