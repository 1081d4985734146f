#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "AgentRegistry.h"
#include "LaunchAgentPlist.h"

namespace launchctl {

// Starts the agent's program in a session and process group of its own, detached from our
// terminal and outputs, so that it outlives this command and can be stopped as one group.
// The record to remember (without its property list's path), or nullopt with `failure` set.
std::optional<AgentRecord> startAgent(const LaunchAgent& agent, std::string& failure);

// Whether the recorded process is still the one this tool started, proved by what the user
// cannot forge about another process: its pid above 1, its start time, that it still leads
// the session and process group it was started with, that it runs the recorded program, and
// that it belongs to `owner` (the owner of the home that holds the record; for root with a
// user's HOME, root's own processes are someone else's). Zombies have ended.
bool isRunning(const AgentRecord& record, uid_t owner);

// Stops the recorded agent, when isRunning() proves it is ours, and the processes of its
// group: SIGTERM, then SIGKILL to whatever is left after the grace period. Each process is
// checked again (group, session, owner, started no earlier than the agent) and signalled
// through a pidfd, so a pid reused meanwhile is never hit, and no group is signalled as a
// whole. Returns once none of them runs any more (or after a last bound).
void stopAgent(const AgentRecord& record, uid_t owner);

}  // namespace launchctl
