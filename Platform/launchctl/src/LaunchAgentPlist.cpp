#include "LaunchAgentPlist.h"

#include <plist/plist.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

namespace launchctl {

namespace {

// A launch agent's property list is a few hundred bytes; anything far larger is not one.
constexpr std::streamsize kLargestPlist = 1 << 20;

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistFree>;

std::optional<std::string> text(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* value = plist_get_string_ptr(node, &length);
    return value == nullptr ? std::string() : std::string(value, length);
}

}  // namespace

bool isUsableLabel(const std::string& label) {
    return !label.empty() && label != "." && label != ".." && label.front() != '.' &&
           label.find_first_of(std::string("/\n\0", 3)) == std::string::npos;
}

LaunchAgentRead readLaunchAgent(const std::string& path) {
    std::error_code missing;
    if (!std::filesystem::exists(path, missing)) {
        return {std::nullopt, path + ": No such file or directory"};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {std::nullopt, path + ": cannot be read"};
    }
    std::string content;
    content.resize(static_cast<std::size_t>(kLargestPlist) + 1);
    in.read(content.data(), kLargestPlist + 1);
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (content.size() > static_cast<std::size_t>(kLargestPlist)) {
        return {std::nullopt, path + ": too large to be a launch agent property list"};
    }

    plist_t root = nullptr;
    plist_from_memory(content.data(), static_cast<std::uint32_t>(content.size()), &root);
    const Plist owner(root);
    if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) {
        return {std::nullopt, path + ": not a property list with a dictionary at its root"};
    }

    LaunchAgent agent;
    const std::optional<std::string> label = text(plist_dict_get_item(root, "Label"));
    if (!label || !isUsableLabel(*label)) {
        return {std::nullopt, path + ": no usable text under \"Label\""};
    }
    agent.label = *label;

    const plist_t list = plist_dict_get_item(root, "ProgramArguments");
    if (list != nullptr) {
        if (plist_get_node_type(list) != PLIST_ARRAY) {
            return {std::nullopt, path + ": \"ProgramArguments\" is not a list"};
        }
        const std::uint32_t count = plist_array_get_size(list);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::optional<std::string> argument = text(plist_array_get_item(list, i));
            if (!argument) {
                return {std::nullopt, path +
                                          ": \"ProgramArguments\" holds something that is "
                                          "not a text"};
            }
            agent.arguments.push_back(*argument);
        }
    }
    const std::optional<std::string> program = text(plist_dict_get_item(root, "Program"));
    if (program && !program->empty()) {
        agent.program = *program;
        if (agent.arguments.empty()) {
            agent.arguments.push_back(*program);
        }
    } else if (!agent.arguments.empty() && !agent.arguments.front().empty()) {
        agent.program = agent.arguments.front();
    } else {
        return {std::nullopt, path +
                                  ": neither \"Program\" nor \"ProgramArguments\" names a "
                                  "program"};
    }
    return {std::move(agent), {}};
}

}  // namespace launchctl
