#include "ProcessIdentity.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace pellin::test {

namespace {

// The fields of /proc/<pid>/stat after the command name, from field 3 (the state) on.
std::string statFields(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const std::size_t close = line.rfind(')');
    return close == std::string::npos ? "" : line.substr(close + 2);
}

}  // namespace

std::string processStartTime(pid_t pid) {
    std::istringstream fields(statFields(pid));
    std::string field;
    for (int index = 3; index <= 22 && fields >> field; ++index) {
    }
    return field;
}

std::string processExecutable(pid_t pid) {
    struct stat info {};
    if (stat(("/proc/" + std::to_string(pid) + "/exe").c_str(), &info) != 0) {
        return "";
    }
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
}

bool processIsLive(pid_t pid) {
    const std::string fields = statFields(pid);
    return !fields.empty() && fields[0] != 'Z' && fields[0] != 'X';
}

}  // namespace pellin::test
