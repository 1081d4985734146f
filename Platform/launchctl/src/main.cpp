// launchctl: loads, unloads and lists the current user's launch agents, so that the Pellin
// programs' "launchctl load|unload <plist>" commands work on Linux. Installed beside the
// programs, where their script runner looks for tools first.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include <PellinFoundation/FileManager.h>

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

// Whose agents these are: the owner of the home folder that holds their records.
std::optional<uid_t> homeOwner(std::string& failure) {
    const std::optional<std::string> home = foundation::absoluteHomeDirectory();
    struct stat info {};
    if (!home || ::stat(home->c_str(), &info) != 0) {
        failure = "no absolute home folder to keep the loaded agents in";
        return std::nullopt;
    }
    return info.st_uid;
}

int load(const AgentRegistry& registry, uid_t owner, const std::string& path) {
    const LaunchAgentRead read = readLaunchAgent(path);
    if (!read.agent) {
        complain("load", read.failure);
        return kFailure;
    }
    const LaunchAgent& agent = *read.agent;
    // An agent started now would run as root, in a home whose owner could not stop it.
    if (::geteuid() != owner) {
        complain("load", agent.label +
                             ": the home folder belongs to another user, whose agents only that "
                             "user can load");
        return kFailure;
    }
    if (const auto loaded = registry.find(agent.label); loaded && isRunning(*loaded, owner)) {
        complain("load", agent.label + ": service already loaded");
        return kFailure;
    }
    std::string failure;
    std::optional<AgentRecord> record = startAgent(agent, failure);
    if (!record) {
        complain("load", agent.label + ": " + failure);
        return kFailure;
    }
    record->plistPath = normalizedPlistPath(path);
    // An agent we cannot remember could never be unloaded, so it must not keep running.
    if (!registry.remember(*record, failure)) {
        stopAgent(*record, owner);
        complain("load", agent.label + ": " + failure);
        return kFailure;
    }
    return kSuccess;
}

int unload(const AgentRegistry& registry, uid_t owner, const std::string& path) {
    // The property list names the agent; once it is gone (an uninstall removes it before the
    // unload), the path it was loaded from still does.
    const LaunchAgentRead read = readLaunchAgent(path);
    std::optional<AgentRecord> record = read.agent
                                            ? registry.find(read.agent->label)
                                            : registry.findLoadedFrom(normalizedPlistPath(path));
    if (!record) {
        complain("unload", read.agent ? read.agent->label + ": Could not find specified service"
                                      : read.failure);
        return kFailure;
    }
    stopAgent(*record, owner);
    registry.forget(record->label);
    return kSuccess;
}

int list(const AgentRegistry& registry, uid_t owner) {
    std::puts("PID\tStatus\tLabel");
    for (const AgentRecord& record : registry.all()) {
        const std::string pid = isRunning(record, owner) ? std::to_string(record.pid) : "-";
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
    const std::optional<uid_t> owner = homeOwner(failure);
    const bool loads = command == "load" && owner == ::geteuid();
    const std::optional<AgentRegistry> registry =
        owner ? AgentRegistry::open(
                    loads ? AgentRegistry::Mode::Create : AgentRegistry::Mode::ExistingOnly, *owner,
                    failure)
              : std::nullopt;
    if (!registry) {
        complain(command, failure);
        return kFailure;
    }
    if (command == "list") {
        return list(*registry, *owner);
    }
    int status = kSuccess;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const int one = command == "load" ? load(*registry, *owner, arguments[i])
                                          : unload(*registry, *owner, arguments[i]);
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
