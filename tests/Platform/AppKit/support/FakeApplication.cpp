#include "FakeApplication.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace pellin::test {

namespace fs = std::filesystem;

void writeInfoPlist(const fs::path& bundle, const std::string& bundleIdentifier,
                    const std::string& executable) {
    fs::create_directories(bundle / "Contents");
    std::ofstream(bundle / "Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n"
           "\t<key>CFBundleIdentifier</key>\n\t<string>"
        << bundleIdentifier << "</string>\n"
        << (executable.empty()
                ? ""
                : "\t<key>CFBundleExecutable</key>\n\t<string>" + executable + "</string>\n")
        << "</dict>\n</plist>\n";
}

namespace {

void appendBigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

// "bplist00": object i is a list holding object i + 1, the last an empty list; 4-byte object
// references and offsets.
std::string deeplyNestedBinaryPropertyList(std::uint64_t depth) {
    std::string list = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (std::uint64_t i = 0; i < depth; ++i) {
        offsets.push_back(list.size());
        list += '\xA1';
        appendBigEndian(list, i + 1, 4);
    }
    offsets.push_back(list.size());
    list += '\xA0';
    const std::uint64_t table = list.size();
    for (const std::uint64_t offset : offsets) {
        appendBigEndian(list, offset, 4);
    }
    list += std::string(6, '\0');
    list += '\x04';  // offset size
    list += '\x04';  // object reference size
    appendBigEndian(list, offsets.size(), 8);
    appendBigEndian(list, 0, 8);  // the top object
    appendBigEndian(list, table, 8);
    return list;
}

}  // namespace

void writeHostileInfoPlist(const fs::path& bundle, HostileInfoPlist kind) {
    const fs::path plist = bundle / "Contents/Info.plist";
    fs::create_directories(plist.parent_path());
    fs::remove(plist);
    switch (kind) {
        case HostileInfoPlist::DeeplyNested:
            std::ofstream(plist, std::ios::binary) << deeplyNestedBinaryPropertyList(110'000);
            break;
        case HostileInfoPlist::HugeSparse:
            std::ofstream{plist};
            fs::resize_file(plist, 30ULL << 30);
            break;
        case HostileInfoPlist::Fifo:
            mkfifo(plist.c_str(), 0644);
            break;
    }
}

fs::path createFakeBundle(const fs::path& folder, const std::string& name,
                          const std::string& bundleIdentifier, ProgramKind kind) {
    const fs::path bundle = folder / (name + ".app");
    writeInfoPlist(bundle, bundleIdentifier);
    const fs::path program = bundle / "Contents/MacOS" / name;
    fs::create_directories(program.parent_path());
    if (kind == ProgramKind::Binary) {
        fs::copy_file("/bin/sleep", program, fs::copy_options::overwrite_existing);
    } else {
        // It waits on a FIFO that nobody ever writes to, with nothing but the shell's own
        // redirection and read: a script that ran "sleep" would fork copies of itself that
        // look like a second instance of the application until they exec.
        std::ofstream(program) << "#!/bin/sh\nwhile :; do read -r line <\"$0.fifo\"; done\n";
        mkfifo((program.string() + ".fifo").c_str(), 0666);
    }
    fs::permissions(program, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    return program;
}

FakeProcess::FakeProcess(std::vector<std::string> arguments, std::optional<RunAs> runAs,
                         const fs::path& workingDirectory) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const std::string folder = workingDirectory.string();

    // The write end closes on exec, so reading it returns once the program runs; a child that
    // cannot exec writes its errno instead.
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        return;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        // Away from the test's output: a program's own children (a script's sleep) could
        // otherwise hold it open after the program is killed, and the test runner waits for it.
        const int nothing = open("/dev/null", O_RDWR);
        bool ok = nothing >= 0 && dup2(nothing, STDIN_FILENO) >= 0 &&
                  dup2(nothing, STDOUT_FILENO) >= 0 && dup2(nothing, STDERR_FILENO) >= 0;
        ok = ok && (folder.empty() || chdir(folder.c_str()) == 0);
        if (ok && runAs) {
            ok = setgroups(0, nullptr) == 0 && setgid(runAs->gid) == 0 && setuid(runAs->uid) == 0;
        }
        if (ok) {
            execv(argv[0], argv.data());
        }
        const int error = errno;
        [[maybe_unused]] const ssize_t written = write(ready[1], &error, sizeof error);
        _exit(127);
    }
    close(ready[1]);
    if (pid < 0) {
        close(ready[0]);
        return;
    }
    int error = 0;
    ssize_t got;
    do {
        got = read(ready[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(ready[0]);
    pid_ = pid;
    if (got > 0) {
        reap(true);
        pid_ = -1;
        return;
    }
    waitUntilArgumentsAreShown(arguments.front());
}

namespace {

bool beginsWithShebang(const std::string& program) {
    std::ifstream in(program, std::ios::binary);
    char head[2] = {};
    return in.read(head, 2) && head[0] == '#' && head[1] == '!';
}

// Whether one of the process's open files is `file`.
bool holdsOpen(pid_t pid, const fs::path& file) {
    std::error_code error;
    for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
         !error && it != end; it.increment(error)) {
        std::error_code unreadable;
        if (fs::read_symlink(it->path(), unreadable) == file) {
            return true;
        }
    }
    return false;
}

}  // namespace

// The close-on-exec pipe closes while the kernel is still setting up the new program: for a
// moment /proc/<pid>/cmdline is empty, and a script's interpreter cannot yet be told from any
// other. Then an interpreter opens its script only after it has started, and fails if the script
// is removed before (as an uninstall does). Tests look at the process only once both are done.
void FakeProcess::waitUntilArgumentsAreShown(const std::string& program) const {
    const std::string cmdline = "/proc/" + std::to_string(pid_) + "/cmdline";
    const bool script = beginsWithShebang(program);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(cmdline, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        if (content.str().find(program) != std::string::npos &&
            (!script || holdsOpen(pid_, fs::weakly_canonical(program)))) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

FakeProcess FakeProcess::start(const fs::path& program, std::optional<RunAs> runAs) {
    return FakeProcess({program.string(), "3600"}, runAs);
}

FakeProcess::FakeProcess(FakeProcess&& other) noexcept : pid_(other.pid_), status_(other.status_) {
    other.pid_ = -1;
}

FakeProcess::~FakeProcess() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        reap(true);
    }
}

bool FakeProcess::reap(bool block) {
    if (status_) {
        return true;
    }
    if (pid_ <= 0) {
        return false;
    }
    int status = 0;
    pid_t got;
    do {
        got = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == pid_) {
        status_ = status;
        return true;
    }
    return false;
}

bool FakeProcess::diedOfKill() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!reap(false) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_ && WIFSIGNALED(*status_) && WTERMSIG(*status_) == SIGKILL;
}

namespace {

// Whether SIGKILL is pending for the process, from the signal masks in /proc/<pid>/status.
bool killPending(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    const unsigned long long killBit = 1ULL << (SIGKILL - 1);
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("SigPnd:") || line.starts_with("ShdPnd:")) {
            const unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
            if ((mask & killBit) != 0) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

bool FakeProcess::survives() {
    return pid_ > 0 && !reap(false) && !killPending(pid_);
}

}  // namespace pellin::test
