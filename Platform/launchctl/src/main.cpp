// launchctl: loads, unloads and lists the current user's launch agents, so that the Pellin
// programs' "launchctl load|unload <plist>" commands work on Linux. Installed beside the
// programs, where their script runner looks for tools first.

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "AgentProcess.h"
#include "AgentRegistry.h"
#include "LaunchAgentPlist.h"

namespace {

using namespace launchctl;

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 64;

void complain(std::string_view command, std::string_view message) {
    std::fprintf(stderr, "launchctl: %.*s: %.*s\n", static_cast<int>(command.size()),
                 command.data(), static_cast<int>(message.size()), message.data());
}

int usage() {
    std::fputs(
        "usage: launchctl load <plist>...\n"
        "       launchctl unload <plist>...\n"
        "       launchctl list\n",
        stderr);
    return kUsage;
}

int load(const AgentRegistry& registry, const std::string& path) {
    const LaunchAgentRead read = readLaunchAgent(path);
    if (!read.agent) {
        complain("load", read.failure);
        return kFailure;
    }
    const LaunchAgent& agent = *read.agent;
    if (const auto loaded = registry.find(agent.label); loaded && isRunning(*loaded)) {
        complain("load", agent.label + ": service already loaded");
        return kFailure;
    }
    std::string failure;
    const std::optional<AgentRecord> record = startAgent(agent, failure);
    if (!record) {
        complain("load", agent.label + ": " + failure);
        return kFailure;
    }
    // An agent we cannot remember could never be unloaded, so it must not keep running.
    if (!registry.remember(*record, failure)) {
        stopAgent(*record);
        complain("load", agent.label + ": " + failure);
        return kFailure;
    }
    return kSuccess;
}

int unload(const AgentRegistry& registry, const std::string& path) {
    const LaunchAgentRead read = readLaunchAgent(path);
    if (!read.agent) {
        complain("unload", read.failure);
        return kFailure;
    }
    const std::optional<AgentRecord> record = registry.find(read.agent->label);
    if (!record) {
        complain("unload", read.agent->label + ": Could not find specified service");
        return kFailure;
    }
    stopAgent(*record);
    registry.forget(record->label);
    return kSuccess;
}

int list(const AgentRegistry& registry) {
    std::puts("PID\tStatus\tLabel");
    for (const AgentRecord& record : registry.all()) {
        const std::string pid = isRunning(record) ? std::to_string(record.pid) : "-";
        std::printf("%s\t-\t%s\n", pid.c_str(), record.label.c_str());
    }
    return kSuccess;
}

int run(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (arguments.empty()) {
        return usage();
    }
    const std::string& command = arguments.front();
    const bool takesPaths = command == "load" || command == "unload";
    if ((takesPaths && arguments.size() < 2) || (command == "list" && arguments.size() != 1) ||
        (!takesPaths && command != "list")) {
        return usage();
    }

    std::string failure;
    const std::optional<AgentRegistry> registry = AgentRegistry::open(
        command == "load" ? AgentRegistry::Mode::Create : AgentRegistry::Mode::ExistingOnly,
        failure);
    if (!registry) {
        complain(command, failure);
        return kFailure;
    }
    if (command == "list") {
        return list(*registry);
    }
    int status = kSuccess;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const int one =
            command == "load" ? load(*registry, arguments[i]) : unload(*registry, arguments[i]);
        if (one != kSuccess) {
            status = one;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // Every failure is reported by status and message; nothing may end the tool abruptly.
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        complain("error", error.what());
    } catch (...) {
        complain("error", "unexpected failure");
    }
    return kFailure;
}
