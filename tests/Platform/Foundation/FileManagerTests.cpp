// Faults the file operations and path texts must not have.
#include <PellinFoundation/FileManager.h>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "TemporaryHome.h"
#include "TestCases.h"

namespace {

namespace fs = std::filesystem;
using foundation::Error;
using foundation::FileManager;

// The rows of file-operations.tsv in order, in a home that holds a file, a tree, links and a
// FIFO: each operation's answer and the cause of a failure, which its description names.
TEST(FileManager, OperationsAnswerAsTheTableSays) {
    const pellin::test::TemporaryHome home;
    const std::string h = home.path().string();
    home.writeFile("file", "0123456789");
    home.writeFile("tree/a/b/file", "x");
    home.writeFile("outside/kept", "kept");
    fs::resize_file(home.writeFile("sparse"), std::uintmax_t{30} << 30);  // never allocated
    ASSERT_EQ(mkfifo((home.path() / "fifo").c_str(), 0600), 0);  // refused, never waited on
    for (const auto& [link, target] : {std::pair{"link", "file"},
                                       {"link-to-folder", "."},
                                       {"broken", "missing"},
                                       {"tree/link-out", "outside"},
                                       {"link-out", "outside"}}) {
        fs::create_symlink(home.path() / target, home.path() / link);
    }
    const auto inHome = [&](std::string text) {
        return text.starts_with("$HOME") ? text.replace(0, 5, h) : text;
    };
    for (const auto& row : pellin::test::casesIn("file-operations.tsv")) {
        const std::string& op = row.at(0);
        const std::string path = inHome(row.at(1));
        Error error;
        std::string answer;
        if (op == "tilde") {
            answer = foundation::stringByExpandingTildeInPath(path);
        } else if (op == "parent" || op == "last") {
            answer = op == "last" ? foundation::lastPathComponent(path)
                                  : foundation::stringByDeletingLastPathComponent(path);
        } else {
            const auto link = op == "read-not-following" ? FileManager::FinalLink::Refuse
                                                         : FileManager::FinalLink::Follow;
            const bool done =
                op == "exists"   ? FileManager::fileExistsAtPath(path)
                : op == "remove" ? FileManager::removeItemAtPath(path, &error)
                : op.starts_with("make")
                    ? FileManager::createDirectoryAtPath(path, op == "make-with-parents", &error)
                    : FileManager::contentsOfRegularFileAtPath(path, std::stoul(row.at(4)), &error,
                                                               link)
                          .has_value();
            answer = done ? "YES" : "NO";
        }
        EXPECT_EQ(answer, inHome(row.at(2))) << op << " " << path;
        if (row.size() > 3) {
            EXPECT_EQ(error.code ? std::strerror(static_cast<int>(error.code)) : "-", row[3])
                << op << " " << path;
            EXPECT_NE(error.localizedDescription.find(error.code ? path : ""), std::string::npos)
                << error.localizedDescription;
        }
    }
    EXPECT_EQ(FileManager::contentsOfRegularFileAtPath(h + "/link", 10), "0123456789");
}

TEST(FileManager, TildeExpansionUsesTheAbsoluteHomeOfTheMoment) {
    const pellin::test::TemporaryHome home;
    const std::string h = home.path().string();
    {
        const pellin::test::TemporaryHome other("other home");
        EXPECT_EQ(foundation::stringByExpandingTildeInPath("~/x"), other.path().string() + "/x");
    }
    setenv("HOME", (h + "/").c_str(), 1);
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("~/x"), h + "/x");
    setenv("HOME", "/", 1);
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("~/x"), "/x");
    unsetenv("HOME");
    const std::string fromPasswd = foundation::homeDirectory();
    EXPECT_FALSE(fromPasswd.empty());
    setenv("HOME", "", 1);
    EXPECT_EQ(foundation::absoluteHomeDirectory(), fromPasswd);
    // A relative home would name a folder below wherever the program started.
    for (const char* relative : {"home/user", "./x", "-x", "~"}) {
        setenv("HOME", relative, 1);
        EXPECT_FALSE(foundation::absoluteHomeDirectory()) << relative;
    }
}

}  // namespace
