#include "AgentRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include <PellinFoundation/FileManager.h>

#include "LaunchAgentPlist.h"

namespace launchctl {

namespace {

constexpr std::string_view kRecordSuffix = ".agent";

std::filesystem::path stateFolder() {
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    if (stateHome != nullptr && stateHome[0] == '/') {
        return std::filesystem::path(stateHome) / "pellin-launchctl";
    }
    const std::string home = foundation::homeDirectory();
    if (home.empty() || home.front() != '/') {
        return {};
    }
    return std::filesystem::path(home) / ".local" / "state" / "pellin-launchctl";
}

std::optional<AgentRecord> readRecord(const std::filesystem::path& path, std::string label) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    AgentRecord record;
    record.label = std::move(label);
    std::string line;
    bool havePid = false;
    while (std::getline(in, line)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        char* end = nullptr;
        if (key == "pid") {
            const long pid = std::strtol(value.c_str(), &end, 10);
            havePid = end != value.c_str() && *end == '\0' && pid > 0 && pid <= INT32_MAX;
            record.pid = static_cast<int>(pid);
        } else if (key == "start") {
            record.startTime = std::strtoull(value.c_str(), &end, 10);
        }
    }
    if (!havePid) {
        return std::nullopt;
    }
    return record;
}

}  // namespace

AgentRegistry::AgentRegistry(std::filesystem::path folder, int lockFd)
    : folder_(std::move(folder)), lockFd_(lockFd) {}

AgentRegistry::AgentRegistry(AgentRegistry&& other) noexcept
    : folder_(std::move(other.folder_)), lockFd_(other.lockFd_) {
    other.lockFd_ = -1;
}

AgentRegistry::~AgentRegistry() {
    if (lockFd_ >= 0) {
        ::close(lockFd_);  // releases the lock
    }
}

std::optional<AgentRegistry> AgentRegistry::open(Mode mode, std::string& failure) {
    const std::filesystem::path folder = stateFolder();
    if (folder.empty()) {
        failure = "no home folder to keep the loaded agents in";
        return std::nullopt;
    }
    std::error_code error;
    if (mode == Mode::ExistingOnly && !std::filesystem::is_directory(folder, error)) {
        return AgentRegistry({}, -1);
    }
    std::filesystem::create_directories(folder, error);
    if (error) {
        failure = folder.string() + ": " + error.message();
        return std::nullopt;
    }
    const std::string lockPath = (folder / ".lock").string();
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        failure = lockPath + ": " + std::strerror(errno);
        return std::nullopt;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            failure = lockPath + ": " + std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
    }
    return AgentRegistry(folder, fd);
}

std::filesystem::path AgentRegistry::recordPath(const std::string& label) const {
    return folder_ / (label + std::string(kRecordSuffix));
}

std::optional<AgentRecord> AgentRegistry::find(const std::string& label) const {
    if (folder_.empty() || !isUsableLabel(label)) {
        return std::nullopt;
    }
    return readRecord(recordPath(label), label);
}

std::vector<AgentRecord> AgentRegistry::all() const {
    std::vector<AgentRecord> records;
    if (folder_.empty()) {
        return records;
    }
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.ends_with(kRecordSuffix)) {
            continue;
        }
        const std::string label = name.substr(0, name.size() - kRecordSuffix.size());
        if (auto record = find(label)) {
            records.push_back(std::move(*record));
        }
    }
    std::sort(records.begin(), records.end(),
              [](const AgentRecord& a, const AgentRecord& b) { return a.label < b.label; });
    return records;
}

bool AgentRegistry::remember(const AgentRecord& record, std::string& failure) const {
    const std::filesystem::path target = recordPath(record.label);
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "pid=" << record.pid << "\nstart=" << record.startTime << "\n";
        if (!out.flush()) {
            failure = temporary.string() + ": cannot write";
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
        failure = target.string() + ": " + error.message();
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

void AgentRegistry::forget(const std::string& label) const {
    if (folder_.empty()) {
        return;
    }
    std::error_code ignored;
    std::filesystem::remove(recordPath(label), ignored);
}

}  // namespace launchctl
