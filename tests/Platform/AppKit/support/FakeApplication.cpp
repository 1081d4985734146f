#include "FakeApplication.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "TemporaryHome.h"

namespace pellin::test {

namespace fs = std::filesystem;

namespace {

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

void nextClockTick() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000 / sysconf(_SC_CLK_TCK) + 15));
}

// Right after exec, /proc/<pid>/cmdline may still be empty, and an interpreter opens its script
// only after it has started (and fails if an uninstall removes it first).
FakeProcess::FakeProcess(std::vector<std::string> arguments, std::optional<RunAs> runAs,
                         const fs::path& workingDirectory)
    : Subprocess({arguments, {}, false, runAs, false, workingDirectory}) {
    const std::string program = arguments.front();
    std::ifstream in(program, std::ios::binary);
    char head[2] = {};
    const bool script = in.read(head, 2) && head[0] == '#' && head[1] == '!';
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (pid() > 0 && std::chrono::steady_clock::now() < deadline &&
           (readFile("/proc/" + std::to_string(pid()) + "/cmdline").find(program) ==
                std::string::npos ||
            (script && !holdsOpen(pid(), fs::weakly_canonical(program))))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

FakeProcess FakeProcess::start(const fs::path& program, std::optional<RunAs> runAs) {
    return FakeProcess({program.string(), "3600"}, runAs);
}

}  // namespace pellin::test
