#include "LaunchAgentPlist.h"

#include <cerrno>

#include <PellinFoundation/FileManager.h>
#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/Value.h>

namespace launchctl {

namespace {

const std::string* textAt(const foundation::Dictionary& dictionary, std::string_view key) {
    const auto found = dictionary.find(key);
    return found == dictionary.end() ? nullptr : found->second.text();
}

}  // namespace

bool isUsableLabel(const std::string& label) {
    return !label.empty() && label != "." && label != ".." && label.front() != '.' &&
           label.find_first_of(std::string("/\n\0", 3)) == std::string::npos;
}

LaunchAgentRead readLaunchAgent(const std::string& path) {
    foundation::Error error;
    const std::optional<std::string> content =
        foundation::FileManager::contentsOfRegularFileAtPath(path, kLargestPlist, &error);
    if (!content) {
        LaunchAgentRead read{std::nullopt, error.localizedDescription, error.code == ENOENT};
        if (read.missing) {
            read.failure = path + ": No such file or directory";
        }
        return read;
    }
    const std::optional<foundation::Value> root =
        foundation::PropertyListSerialization::propertyListWithData(*content);
    const foundation::Dictionary* dictionary = root ? root->dictionary() : nullptr;
    if (dictionary == nullptr) {
        return {std::nullopt, path + ": not a property list with a dictionary at its root"};
    }

    LaunchAgent agent;
    const std::string* label = textAt(*dictionary, "Label");
    if (label == nullptr || !isUsableLabel(*label)) {
        return {std::nullopt, path + ": no usable text under \"Label\""};
    }
    agent.label = *label;

    if (const auto list = dictionary->find("ProgramArguments"); list != dictionary->end()) {
        if (list->second.array() == nullptr) {
            return {std::nullopt, path + ": \"ProgramArguments\" is not a list"};
        }
        for (const foundation::Value& argument : *list->second.array()) {
            if (argument.text() == nullptr) {
                return {std::nullopt,
                        path + ": \"ProgramArguments\" holds something that is not a text"};
            }
            agent.arguments.push_back(*argument.text());
        }
    }
    const std::string* program = textAt(*dictionary, "Program");
    if (program != nullptr && !program->empty()) {
        agent.program = *program;
        if (agent.arguments.empty()) {
            agent.arguments.push_back(*program);
        }
    } else if (!agent.arguments.empty() && !agent.arguments.front().empty()) {
        agent.program = agent.arguments.front();
    } else {
        return {std::nullopt,
                path + ": neither \"Program\" nor \"ProgramArguments\" names a program"};
    }
    return {std::move(agent), {}};
}

}  // namespace launchctl
