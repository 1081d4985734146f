// The whole uninstall, flow by flow as tests/data/uninstall-flows.txt sets them out, with a
// scripted runner or the real shell (as root, so that "sudo rm" needs no password).

#include <UninstallLib/UninstallCommand.h>
#include <UninstallLib/UninstallLib.h>
#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include <PellinAppleScript/AppleScript.h>

#include <pwd.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "CapturedLog.h"
#include "PrivatePidNamespace.h"
#include "ScopedEnvironment.h"
#include "TemporaryHome.h"
#include "TestCases.h"

namespace {

namespace fs = std::filesystem;
using pellin::test::TemporaryHome;
using Lines = std::vector<std::string>;

constexpr const char* kItems[] = {"Library/LaunchAgents/jp.brenvik.mac.Pellin.plist",
                                  "Library/Pellin", "Applications/KickPellin.app"};
constexpr const char* kInstalled[] = {"Library/LaunchAgents/jp.brenvik.mac.Pellin.plist",
                                      "Library/Pellin/Pellin.app/Contents/Info.plist",
                                      "Applications/KickPellin.app/Contents/Info.plist"};

// Plays back one answer per run (beyond them: "ok"), as the flows' file says, and keeps every
// source.
class ScriptedExecutor : public applescript::ScriptExecutor {
  public:
    ScriptedExecutor(Lines answers, std::function<void()> removal)
        : answers_(std::move(answers)), removal_(std::move(removal)) {}
    std::optional<std::string> executeAndReturnError(std::string_view source,
                                                     foundation::Dictionary* errorInfo) override {
        sources.emplace_back(source);
        const std::string answer =
            sources.size() <= answers_.size() ? answers_[sources.size() - 1] : "ok";
        if (answer == "ok" || answer == "silent") {
            removal_();
            return answer == "ok" ? std::optional<std::string>("") : std::nullopt;
        }
        (*errorInfo)[std::string(applescript::NSAppleScriptErrorNumber)] =
            foundation::Value(std::stoll(answer));
        (*errorInfo)[std::string(applescript::NSAppleScriptErrorMessage)] =
            foundation::Value(answer.substr(answer.find(' ') + 1));
        return std::nullopt;
    }
    Lines sources;

  private:
    Lines answers_;
    std::function<void()> removal_;
};

// "HOME=<value>" runs as root with that HOME ("unset": none), the password file's home being
// the test's; the relative home or "~" below the working folder holds a copy of the items.
void plant(const TemporaryHome& home, const std::string& setup,
           pellin::test::ScopedEnvironment& environment) {
    for (const char* file : kInstalled) {
        if (setup != "nothing" && (setup != "launcher" || file == kInstalled[2])) {
            home.writeFile(file);
        }
    }
    const std::string value = setup.starts_with("HOME=") ? setup.substr(5) : "";
    if (setup == "linked Library") {
        fs::rename(home.path() / "Library", home.parent() / "Library");
        fs::create_directory_symlink(home.parent() / "Library", home.path() / "Library");
    } else if (setup == "foreign Applications") {
        EXPECT_EQ(::chown((home.path() / "Applications").c_str(), 65534, 65534), 0);
    } else if (setup == "real") {  // what lies beside the items and above them stays
        for (const char* file : {"Library/Pellin.keep", "Library/LaunchAgents/other.plist",
                                 "Applications/KickPellin.app.keep", "../my/keep"}) {
            home.writeFile(file);
        }
    } else if (setup.starts_with("HOME=")) {
        EXPECT_EQ(::mount(home.path().c_str(), getpwuid(0)->pw_dir, nullptr, MS_BIND, nullptr), 0);
        for (const char* file : kInstalled) {
            home.writeFile("../" + (value.empty() || value == "unset" ? "~" : value) + "/" + file);
        }
        value == "unset" ? environment.unset("HOME") : environment.set("HOME", value);
    }
}

// What ran, what the uninstall logged, its result and every file left (the settings store's
// own folder aside), with the home written as $HOME and the folder above it as $ROOT. It runs
// from $ROOT, where a stray relative command would leave its traces.
Lines transcriptOf(const std::string& setup, const Lines& answers) {
    // The first word of the real flow's home is also a folder beside it: a path split at its
    // first blank would remove it.
    TemporaryHome home(setup == "real"
                           ? "my home 'q' \"dq\" $(touch pwned1) `touch pwned2` ; touch x ;\n x"
                           : "home");
    UserDefaultConfigurationLib::findPellinUserDefault()->setObject(foundation::Value("x"), "Key");
    const auto executor = std::make_shared<ScriptedExecutor>(answers, [&] {
        for (const char* item : kItems) {
            fs::remove_all(home.path() / item);
        }
        if (setup == "stuck") {  // as a file the shell cannot delete would
            home.writeFile("Library/Pellin/Pellin.app/stuck");
        }
    });
    pellin::test::CapturedLog log;
    UninstallResult result;
    {
        pellin::test::ScopedEnvironment environment;
        plant(home, setup, environment);
        const fs::path previous = fs::current_path();
        fs::current_path(home.parent());
        result = setup == "real" || setup.starts_with("HOME=")
                     ? UninstallLib::uninstall()
                     : UninstallCommand::executeUninstallCommand(executor);
        fs::current_path(previous);
    }
    Lines lines;
    for (const std::string& source : executor->sources) {
        lines.push_back("run: " + source);
    }
    for (const auto& message : log.messages()) {
        if (message.function.starts_with("+[Uninstall")) {
            lines.push_back("log: " + message.function + " | " + message.message);
        }
    }
    lines.push_back("result: " + std::to_string(result.error_result()) + " " +
                    std::to_string(result.error_number()));
    const auto defaults = UserDefaultConfigurationLib::findPellinUserDefault();
    lines.push_back(std::string("settings: ") +
                    (defaults->objectForKey("Key").isNone() ? "removed" : "kept"));
    std::set<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(home.parent())) {
        if (entry.path().string().find("/Library/Preferences") == std::string::npos) {
            files.insert("file: " + entry.path().string());
        }
    }
    lines.insert(lines.end(), files.begin(), files.end());
    for (std::string& line : lines) {
        for (const auto& [path, name] : {std::pair{home.path().string(), "$HOME"},
                                         {home.parent().string(), "$ROOT"},
                                         {std::string(getpwuid(0)->pw_dir) + "/", "$HOME/"}}) {
            for (std::size_t at; (at = line.find(path)) != std::string::npos;) {
                line.replace(at, path.size(), name);
            }
        }
    }
    if (setup.starts_with("HOME=")) {
        ::umount(getpwuid(0)->pw_dir);
    }
    return lines;
}

// Root's home from the password file is replaced in the test's private mount namespace, so
// that the real one is never touched.
TEST(Uninstall, EachFlowRunsLogsAndLeavesWhatItsTranscriptSays) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "the real flows' \"sudo rm\" and the foreign folder need root";
    }
    PELLIN_IN_PRIVATE_PID_NAMESPACE();
    std::vector<std::pair<Lines, Lines>> flows;
    for (const Lines& line : pellin::test::casesIn("uninstall-flows.txt")) {
        if (line[0] == "flow") {
            flows.emplace_back(line, Lines{});
        } else {
            flows.back().second.push_back(line[0]);
        }
    }
    EXPECT_EQ(flows.size(), 17u);
    for (const auto& [flow, expected] : flows) {
        EXPECT_EQ(transcriptOf(flow[2], Lines(flow.begin() + 3, flow.end())), expected) << flow[1];
    }
}

}  // namespace
