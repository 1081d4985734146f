#pragma once

#include <optional>
#include <string>
#include <vector>

namespace launchctl {

// What starting an agent needs from its property list.
struct LaunchAgent {
    std::string label;
    std::string program;                 // searched on PATH when it holds no slash
    std::vector<std::string> arguments;  // argv, arguments[0] included
};

// The outcome of reading a property list: the agent, or why it is not one.
struct LaunchAgentRead {
    std::optional<LaunchAgent> agent;
    std::string failure;
    bool missing = false;  // nothing at the path at all
};

// A launch agent's property list is a few hundred bytes; anything far larger is not one.
inline constexpr std::size_t kLargestPlist = 1 << 20;

// Reads an XML or binary property list with a text "Label" and either "ProgramArguments" (a
// non-empty list of texts) or "Program" (a text), or both, as launchd does: "Program" names
// the executable, "ProgramArguments" its arguments, and without "Program" the first argument
// names it. The user can write the file, so it is read with bounds: a regular file only, never
// waited on (a FIFO is refused), at most kLargestPlist bytes, through the checked reader.
LaunchAgentRead readLaunchAgent(const std::string& path);

// A label becomes a file name in the state folder, so it must be one plain path component.
bool isUsableLabel(const std::string& label);

}  // namespace launchctl
