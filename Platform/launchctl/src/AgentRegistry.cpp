#include "AgentRegistry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <utility>

#include <PellinFoundation/FileManager.h>
#include <PellinFoundation/HomeOwner.h>
#include <PellinFoundation/WriteAll.h>

#include "LaunchAgentPlist.h"

namespace launchctl {

namespace {

constexpr std::string_view kRecordSuffix = ".agent";
constexpr const char* kFolderName = "pellin-launchctl";
constexpr const char* kLockName = ".lock";
constexpr std::size_t kLargestRecord = 4096;
constexpr mode_t kPrivateFolder = 0700;
constexpr mode_t kPrivateFile = 0600;

std::string because(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Owns one descriptor until it is handed on with release().
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_;
};

// The folder `name` inside `parent`, opened without following a link, made (0700, given to the
// home's owner) when `create` allows; it must belong to `owner`. -1 with `failure` set, or with
// `failure` empty when it does not exist and may not be made.
int openOwnedFolder(int parent, const std::string& name, const std::string& shown, bool create,
                    uid_t owner, std::string& failure) {
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    Descriptor folder(::openat(parent, name.c_str(), kFlags));
    if (folder.get() < 0 && errno == ENOENT && create) {
        if (::mkdirat(parent, name.c_str(), kPrivateFolder) != 0 && errno != EEXIST) {
            failure = because(shown);
            return -1;
        }
        folder.reset(::openat(parent, name.c_str(), kFlags));
        foundation::Error error;
        if (folder.get() >= 0 && !foundation::giveToHomeOwner(folder.get(), &error)) {
            failure = shown + ": " + error.localizedDescription;
            return -1;
        }
    }
    if (folder.get() < 0) {
        if (errno == ENOENT) {
            failure.clear();
        } else if (errno == ELOOP || errno == ENOTDIR) {
            failure = shown + ": not a folder (a symbolic link is not followed)";
        } else {
            failure = because(shown);
        }
        return -1;
    }
    struct stat info {};
    if (::fstat(folder.get(), &info) != 0) {
        failure = because(shown);
        return -1;
    }
    if (info.st_uid != owner) {
        failure = shown + ": belongs to another user than the home folder's owner";
        return -1;
    }
    return folder.release();
}

// The folders from the home to the state folder's parent: relative to the home when they lie in
// it, otherwise XDG_STATE_HOME itself (the user's own choice, which must exist).
struct StateBase {
    std::string start;                  // opened as it is, following links
    std::vector<std::string> children;  // then each opened without following one
};

StateBase stateBase(const std::string& home) {
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    if (stateHome == nullptr || stateHome[0] != '/') {
        return StateBase{home, {".local", "state"}};
    }
    const std::filesystem::path base = std::filesystem::path(stateHome).lexically_normal();
    const std::filesystem::path inside = base.lexically_relative(home);
    if (inside.empty() || *inside.begin() == "..") {
        return StateBase{base.string(), {}};
    }
    StateBase walk{home, {}};
    for (const std::filesystem::path& part : inside) {
        if (!part.empty() && part != ".") {
            walk.children.push_back(part.string());
        }
    }
    return walk;
}

// The state folder, or -1: with `failure` empty when it does not exist and `create` is false.
int openStateFolder(bool create, uid_t owner, std::string& failure) {
    const std::optional<std::string> home = foundation::absoluteHomeDirectory();
    if (!home) {
        failure = "no absolute home folder to keep the loaded agents in";
        return -1;
    }
    const StateBase base = stateBase(*home);
    std::string shown = base.start;
    Descriptor folder(::open(shown.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (folder.get() < 0 || ::fstat(folder.get(), &info) != 0) {
        failure = create || errno != ENOENT ? because(shown) : "";
        return -1;
    }
    if (info.st_uid != owner) {
        failure = shown + ": belongs to another user than the home folder's owner";
        return -1;
    }
    std::vector<std::string> names = base.children;
    names.emplace_back(kFolderName);
    for (const std::string& name : names) {
        shown += "/" + name;
        folder.reset(openOwnedFolder(folder.get(), name, shown, create, owner, failure));
        if (folder.get() < 0) {
            return -1;
        }
    }
    // A folder left by an older version may be readable by others.
    if (::fstat(folder.get(), &info) != 0 ||
        ((info.st_mode & 077) != 0 && ::fchmod(folder.get(), kPrivateFolder) != 0)) {
        failure = because(shown);
        return -1;
    }
    return folder.release();
}

std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '%':
                out += "%25";
                break;
            case '\n':
                out += "%0A";
                break;
            case '\r':
                out += "%0D";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string_view next = std::string_view(text).substr(i, 3);
        if (next == "%25" || next == "%0A" || next == "%0D") {
            out += next == "%25" ? '%' : next == "%0A" ? '\n' : '\r';
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<unsigned long long> number(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 ? std::optional(value) : std::nullopt;
}

std::optional<AgentRecord> parseRecord(const std::string& content, std::string label) {
    AgentRecord record;
    record.label = std::move(label);
    std::istringstream lines(content);
    std::string line;
    bool havePid = false;
    while (std::getline(lines, line)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "pid") {
            const auto pid = number(value);
            havePid = pid && *pid <= INT32_MAX;
            record.pid = havePid ? static_cast<int>(*pid) : 0;
        } else if (key == "start") {
            record.startTime = number(value).value_or(0);
        } else if (key == "exe") {
            const std::size_t colon = value.find(':');
            const auto device = number(value.substr(0, colon));
            const auto inode =
                colon == std::string::npos ? std::nullopt : number(value.substr(colon + 1));
            if (device && inode) {
                record.executable = ExecutableIdentity{*device, *inode};
            }
        } else if (key == "plist") {
            record.plistPath = unescaped(value);
        }
    }
    if (!havePid) {
        return std::nullopt;
    }
    return record;
}

}  // namespace

std::string normalizedPlistPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute =
        std::filesystem::absolute(path, error).lexically_normal();
    if (error) {
        return path;
    }
    const std::filesystem::path folder = std::filesystem::canonical(absolute.parent_path(), error);
    return error ? absolute.string() : (folder / absolute.filename()).string();
}

AgentRegistry::AgentRegistry(int folderFd, int lockFd) : folderFd_(folderFd), lockFd_(lockFd) {}

AgentRegistry::AgentRegistry(AgentRegistry&& other) noexcept
    : folderFd_(std::exchange(other.folderFd_, -1)), lockFd_(std::exchange(other.lockFd_, -1)) {}

AgentRegistry::~AgentRegistry() {
    if (lockFd_ >= 0) {
        ::close(lockFd_);  // releases the lock
    }
    if (folderFd_ >= 0) {
        ::close(folderFd_);
    }
}

std::optional<AgentRegistry> AgentRegistry::open(Mode mode, uid_t owner, std::string& failure) {
    Descriptor folder(openStateFolder(mode == Mode::Create, owner, failure));
    if (folder.get() < 0) {
        if (failure.empty()) {
            return AgentRegistry(-1, -1);
        }
        return std::nullopt;
    }
    const std::string lockPath = std::string(kFolderName) + "/" + kLockName;
    Descriptor lock(
        ::openat(folder.get(), kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kPrivateFile));
    foundation::Error error;
    if (lock.get() < 0) {
        failure = because(lockPath);
        return std::nullopt;
    }
    if (!foundation::giveToHomeOwner(lock.get(), &error)) {
        failure = lockPath + ": " + error.localizedDescription;
        return std::nullopt;
    }
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            failure = because(lockPath);
            return std::nullopt;
        }
    }
    return AgentRegistry(folder.release(), lock.release());
}

std::optional<AgentRecord> AgentRegistry::find(const std::string& label) const {
    if (folderFd_ < 0 || !isUsableLabel(label)) {
        return std::nullopt;
    }
    // Relative to the open folder, so a folder swapped meanwhile cannot lead the read elsewhere.
    const std::string path =
        "/proc/self/fd/" + std::to_string(folderFd_) + "/" + label + std::string(kRecordSuffix);
    const std::optional<std::string> content = foundation::FileManager::contentsOfRegularFileAtPath(
        path, kLargestRecord, nullptr, foundation::FileManager::FinalLink::Refuse);
    return content ? parseRecord(*content, label) : std::nullopt;
}

std::optional<AgentRecord> AgentRegistry::findLoadedFrom(const std::string& plistPath) const {
    for (AgentRecord& record : all()) {
        if (record.plistPath == plistPath) {
            return std::move(record);
        }
    }
    return std::nullopt;
}

std::vector<AgentRecord> AgentRegistry::all() const {
    std::vector<AgentRecord> records;
    const int listing = folderFd_ < 0 ? -1 : ::openat(folderFd_, ".", O_RDONLY | O_CLOEXEC);
    DIR* folder = listing < 0 ? nullptr : ::fdopendir(listing);
    if (folder == nullptr) {
        if (listing >= 0) {
            ::close(listing);
        }
        return records;
    }
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (!name.ends_with(kRecordSuffix)) {
            continue;
        }
        if (auto record = find(name.substr(0, name.size() - kRecordSuffix.size()))) {
            records.push_back(std::move(*record));
        }
    }
    ::closedir(folder);
    std::sort(records.begin(), records.end(),
              [](const AgentRecord& a, const AgentRecord& b) { return a.label < b.label; });
    return records;
}

bool AgentRegistry::remember(const AgentRecord& record, std::string& failure) const {
    const std::string name = record.label + std::string(kRecordSuffix);
    const std::string temporary = name + ".tmp";
    std::string text =
        "pid=" + std::to_string(record.pid) + "\nstart=" + std::to_string(record.startTime) + "\n";
    if (record.executable) {
        text += "exe=" + std::to_string(record.executable->device) + ":" +
                std::to_string(record.executable->inode) + "\n";
    }
    text += "plist=" + escaped(record.plistPath) + "\n";

    // A leftover or planted name goes first (a link itself, never what it names), so the file
    // is always a new one of ours.
    ::unlinkat(folderFd_, temporary.c_str(), 0);
    Descriptor file(::openat(folderFd_, temporary.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFile));
    foundation::Error error;
    if (file.get() < 0) {
        failure = because(temporary);
        return false;
    }
    if (!foundation::giveToHomeOwner(file.get(), &error)) {
        failure = temporary + ": " + error.localizedDescription;
        ::unlinkat(folderFd_, temporary.c_str(), 0);
        return false;
    }
    if (const int error = foundation::detail::writeAll(file.get(), text.data(), text.size())) {
        errno = error;
        failure = because(temporary);
        ::unlinkat(folderFd_, temporary.c_str(), 0);
        return false;
    }
    // The rename replaces whatever has the record's name, a link included, never its target.
    if (::renameat(folderFd_, temporary.c_str(), folderFd_, name.c_str()) != 0) {
        failure = because(name);
        ::unlinkat(folderFd_, temporary.c_str(), 0);
        return false;
    }
    return true;
}

void AgentRegistry::forget(const std::string& label) const {
    if (folderFd_ >= 0 && isUsableLabel(label)) {
        ::unlinkat(folderFd_, (label + std::string(kRecordSuffix)).c_str(), 0);
    }
}

}  // namespace launchctl
