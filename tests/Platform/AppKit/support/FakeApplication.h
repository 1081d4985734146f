#pragma once

// Fake product applications for tests: real bundles ("<Name>.app/Contents/Info.plist" and a
// program in Contents/MacOS) and real processes started from them.

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Subprocess.h"
#include "TemporaryHome.h"

namespace pellin::test {

enum class ProgramKind {
    Binary,  // a copy of /bin/sleep
    Script,  // a "#!/bin/sh" script that sleeps
};

// Writes an XML property list holding one text under "CFBundleIdentifier" and, when given, the
// name of the bundle's executable under "CFBundleExecutable".
inline void writeInfoPlist(const std::filesystem::path& bundle, const std::string& bundleIdentifier,
                           const std::string& executable = "") {
    std::filesystem::create_directories(bundle / "Contents");
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

// Creates "<folder>/<name>.app" whose Info.plist names `bundleIdentifier`, with the program
// Contents/MacOS/<name>. Returns the program's path.
inline std::filesystem::path createFakeBundle(const std::filesystem::path& folder,
                                              const std::string& name,
                                              const std::string& bundleIdentifier,
                                              ProgramKind kind = ProgramKind::Binary) {
    namespace fs = std::filesystem;
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

// Start times count in clock ticks: waiting a little more than one keeps two starts in order.
inline void nextClockTick() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000 / sysconf(_SC_CLK_TCK) + 15));
}

// A product application's process, returned once the program runs and, for a script, once its
// interpreter has opened it (so that a test looks at the process only when it is what it will be).
class FakeProcess : public Subprocess {
  public:
    // Right after exec, /proc/<pid>/cmdline may still be empty, and an interpreter opens its
    // script only after it has started (and fails if an uninstall removes it first).
    explicit FakeProcess(std::vector<std::string> arguments,
                         std::optional<RunAs> runAs = std::nullopt,
                         const std::filesystem::path& workingDirectory = {})
        : Subprocess({arguments, {}, false, runAs, false, workingDirectory}) {
        const std::string program = arguments.front();
        std::ifstream in(program, std::ios::binary);
        char head[2] = {};
        const bool script = in.read(head, 2) && head[0] == '#' && head[1] == '!';
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pid() > 0 && std::chrono::steady_clock::now() < deadline &&
               (readFile("/proc/" + std::to_string(pid()) + "/cmdline").find(program) ==
                    std::string::npos ||
                (script && !holdsOpen(std::filesystem::weakly_canonical(program))))) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // A program as a product would run it: sleeping for an hour.
    static FakeProcess start(const std::filesystem::path& program,
                             std::optional<RunAs> runAs = std::nullopt) {
        return FakeProcess({program.string(), "3600"}, runAs);
    }

  private:
    // Whether one of the process's open files is `file`.
    bool holdsOpen(const std::filesystem::path& file) const {
        namespace fs = std::filesystem;
        std::error_code error;
        for (fs::directory_iterator it("/proc/" + std::to_string(pid()) + "/fd", error), end;
             !error && it != end; it.increment(error)) {
            std::error_code unreadable;
            if (fs::read_symlink(it->path(), unreadable) == file) {
                return true;
            }
        }
        return false;
    }
};

}  // namespace pellin::test
