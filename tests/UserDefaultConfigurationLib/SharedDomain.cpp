#include "SharedDomain.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace pellin::test {

std::filesystem::path sharedDomainFile() {
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "") / "Library/Preferences" /
           "com.brenvik.mac.Pellin.common.plist";
}

std::string readInAnotherProcess(const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return "pipe failed";
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    std::vector<std::string> words = {SHARED_DOMAIN_READER};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    std::string out;
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        out.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeEnds[0]);
    if (spawned != 0) {
        return "spawn failed";
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "exit " + std::to_string(status);
    }
    return out;
}

std::string storedInAnotherProcess(const std::string& key) {
    std::string out = readInAnotherProcess({"object", key});
    if (out.ends_with('\n')) {
        out.pop_back();
    }
    return out;
}

}  // namespace pellin::test
