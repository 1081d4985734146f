// What a shell with administrator rights removes: only inside the home of the user it acts
// for, reached from the home through that user's own folders and no link, whatever the user
// changes in the home meanwhile. Run for real as root, which acts for the home's owner.

#include <PellinAppleScript/AppleScript.h>
#include <PellinAppleScript/DoShellScriptExecutor.h>
#include <PellinAppleScript/Quoting.h>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "TemporaryHome.h"
#include "TestCases.h"

namespace {

namespace fs = std::filesystem;
using namespace applescript;

TEST(GuardedRemoval, OnlyWhatLiesInTheOwnersHomeReachedWithoutALinkIsRemovedEvenMidSwap) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "runs the privileged shell directly, which needs root";
    }
    const pellin::test::TemporaryHome home("user home");
    const fs::path h = home.path(), out = home.parent() / "outside";
    const std::string variables =
        "H=" + quotedForm(h.string()) + "; OUT=" + quotedForm(out.string()) + "; ";
    // A fresh home holding Documents/Pellin/keep, then `setUp` run in it; OUT holds Pellin/keep.
    const auto plant = [&](const std::string& setUp) {
        fs::remove_all(h);
        const std::string keep =
            "mkdir -p \"$H/Documents/Pellin\" \"$OUT/Pellin\" && cd \"$H\" && "
            "touch Documents/Pellin/keep \"$OUT/Pellin/keep\"; ";
        ASSERT_EQ(std::system((variables + keep + setUp).c_str()), 0) << setUp;
    };
    const auto kept = [&] {
        return fs::exists(out / "Pellin/keep") && fs::exists(h / "Documents/Pellin/keep");
    };
    // The folders the caller may name as those the text removes in: every operand's folder
    // below, and one outside the home, which must not count.
    std::vector<std::string> folders;
    for (const fs::path& folder : {h / "Library", h / "Library/Agents", h / "Nothing", out}) {
        folders.push_back(folder.string());
    }
    // Runs `command` in the privileged shell acting for `owner`: its error message, or nothing.
    // With `named`, the shell is told the folders above, and proves them before the text runs.
    const auto removal = [&](const std::string& command, bool named, uid_t owner = 0) {
        ShellHost host = ShellHost::current();
        host.owner = owner ? owner : *host.owner;
        foundation::Dictionary error;
        if (AppleScript("do shell script " + stringLiteral(variables + command) +
                            " with administrator privileges",
                        std::make_shared<DoShellScriptExecutor>(
                            host, named ? folders : std::vector<std::string>()))
                .executeAndReturnError(&error)) {
            return std::optional<std::string>();
        }
        const std::string* message = error[std::string(NSAppleScriptErrorMessage)].text();
        return std::optional<std::string>(message ? *message : "");
    };

    for (const bool named : {false, true}) {
        for (const auto& each : pellin::test::casesIn("guarded-removals.tsv")) {
            ASSERT_EQ(each.size(), 5U);
            const auto& [name, setUp, command, removed] =
                std::tie(each[0], each[1], each[2], each[3]);
            plant(setUp);
            const auto refusal =
                removal(command, named, each[4].empty() ? 0 : uid_t(std::stoul(each[4])));
            EXPECT_EQ(!refusal, removed != "-") << name << ": " << refusal.value_or("");
            EXPECT_TRUE(!refusal || refusal->find(h.string()) != std::string::npos) << *refusal;
            EXPECT_TRUE(kept() && (removed == "-" || !fs::exists(fs::symlink_status(h / removed))))
                << name << (named ? ", its folder named" : "");
        }
    }
    // A folder swapped for a link to outside the home, or to another folder of the same user at
    // the same depth inside it, with the folder named beforehand and without.
    for (const auto& [elsewhere, named] : {std::pair{"\"$OUT\"", false},
                                           {"\"$OUT\"", true},
                                           {"Documents", false},
                                           {"Documents", true}}) {
        plant("mkdir -p Library/Pellin; ln -s " + std::string(elsewhere) + " Library.link");
        // Another program of the user exchanges the folder and the link as fast as it can.
        const std::jthread swapper([&](const std::stop_token& stop) {
            while (!stop.stop_requested()) {
                ::renameat2(AT_FDCWD, (h / "Library").c_str(), AT_FDCWD,
                            (h / "Library.link").c_str(), RENAME_EXCHANGE);
            }
        });
        for (int attempt = 0; attempt < 100 && kept(); ++attempt) {
            removal("sudo rm -rf \"$H/Library/Pellin\"", named);
        }
        EXPECT_TRUE(kept()) << elsewhere << (named ? ", its folder named" : "");
    }
}

}  // namespace
