// Faults the file operations and path texts must not have.
#include <PellinFoundation/FileManager.h>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include "TemporaryHome.h"
#include "TestCases.h"

namespace {

namespace fs = std::filesystem;
using foundation::Error;
using foundation::FileManager;

TEST(FileManager, ExistenceFollowsTheFinalLink) {
    const pellin::test::TemporaryHome home;
    const fs::path file = home.writeFile("file.txt", "x");
    fs::create_symlink(file, home.path() / "link-to-file");
    fs::create_symlink(home.path(), home.path() / "link-to-folder");
    fs::create_symlink(home.path() / "missing", home.path() / "broken-link");
    for (const auto& [name, exists] : {std::pair{"file.txt", true},
                                       {"link-to-file", true},
                                       {"link-to-folder", true},
                                       {"broken-link", false},
                                       {"missing", false},
                                       {"file.txt/below", false}}) {
        EXPECT_EQ(FileManager::fileExistsAtPath((home.path() / name).string()), exists) << name;
    }
    EXPECT_FALSE(FileManager::fileExistsAtPath(""));
}

TEST(FileManager, FoldersAreCreatedAsAskedAndFailuresKeepTheirCause) {
    const pellin::test::TemporaryHome home;
    const fs::path deep = home.path() / "a" / "b";
    const fs::path file = home.writeFile("file", "x");
    const struct {
        fs::path path;
        bool parents;
        bool made;
        int code;
    } cases[] = {
        {deep, false, false, ENOENT},         {deep, true, true, 0},   {deep, true, true, 0},
        {deep, false, false, EEXIST},         {file, true, false, -1}, {file, false, false, -1},
        {file / "sub", true, false, ENOTDIR}, {"", true, false, -1}};
    for (const auto& [path, parents, made, code] : cases) {
        Error error;
        EXPECT_EQ(FileManager::createDirectoryAtPath(path.string(), parents, &error), made) << path;
        EXPECT_TRUE(code == -1 ? error.code != 0 : error.code == code) << path << error.code;
        EXPECT_TRUE(made || error.localizedDescription.find(path.string()) != std::string::npos)
            << error.localizedDescription;
    }
    EXPECT_EQ(pellin::test::readFile(file), "x");
}

TEST(FileManager, RemovalTakesTheWholeTreeAndNoMore) {
    const pellin::test::TemporaryHome home;
    home.writeFile("tree/a/b/file", "x");
    const fs::path outside = home.writeFile("outside/kept", "kept");
    fs::create_symlink(home.path() / "outside", home.path() / "tree" / "link-out");
    fs::create_symlink(home.path() / "outside", home.path() / "link");
    fs::create_symlink(home.path() / "nowhere", home.path() / "broken");
    for (const char* name : {"tree", "link", "broken"}) {
        EXPECT_TRUE(FileManager::removeItemAtPath((home.path() / name).string(), nullptr));
        EXPECT_FALSE(fs::exists(fs::symlink_status(home.path() / name))) << name;
    }
    EXPECT_EQ(pellin::test::readFile(outside), "kept");

    const std::pair<std::string, int> failures[] = {
        {(home.path() / "nothing here").string(), ENOENT},
        {(outside / "child").string(), ENOTDIR},
        {"", ENOENT},
        {"/", EBUSY},
        {"//", EBUSY},
        {"/./", EBUSY},
        {"/../", EBUSY}};
    for (const auto& [path, code] : failures) {
        Error error;
        EXPECT_FALSE(FileManager::removeItemAtPath(path, &error)) << path;
        EXPECT_EQ(error.code, code) << path;
    }
    Error missing;
    FileManager::removeItemAtPath((home.path() / "nothing here").string(), &missing);
    EXPECT_NE(missing.localizedDescription.find("nothing here"), std::string::npos);
    EXPECT_NE(missing.localizedDescription.find("No such file or directory"), std::string::npos);
}

TEST(FileManager, TildeExpansionUsesTheAbsoluteHomeOfTheMoment) {
    const pellin::test::TemporaryHome home;
    const std::string h = home.path().string();
    const std::pair<const char*, std::string> cases[] = {
        {"~", h},
        {"~/Applications/K.app", h + "/Applications/K.app"},
        {"~other/x", "~other/x"},
        {"a/~", "a/~"},
        {"/abs/path", "/abs/path"},
        {"", ""}};
    for (const auto& [path, expanded] : cases) {
        EXPECT_EQ(foundation::stringByExpandingTildeInPath(path), expanded) << path;
    }
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

TEST(FileManager, PathComponents) {
    for (const auto& row : pellin::test::casesIn("path-components.tsv")) {
        EXPECT_EQ(foundation::stringByDeletingLastPathComponent(row.at(0)), row.at(1)) << row[0];
        EXPECT_EQ(foundation::lastPathComponent(row.at(0)), row.at(2)) << row[0];
    }
}

TEST(FileManager, FilesOfOtherProgramsAreReadWithBounds) {
    const pellin::test::TemporaryHome home;
    const fs::path file = home.writeFile("file", "0123456789");
    const fs::path sparse = home.writeFile("sparse");
    fs::resize_file(sparse, std::uintmax_t{30} << 30);  // refused from its size, never allocated
    const fs::path fifo = home.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // refused at once instead of blocking
    fs::create_symlink(file, home.path() / "link");
    const auto follow = FileManager::FinalLink::Follow, refuse = FileManager::FinalLink::Refuse;
    const struct {
        fs::path path;
        std::size_t cap;
        FileManager::FinalLink link;
        int code;
    } cases[] = {{file, 10, refuse, 0},
                 {file, 9, follow, EFBIG},
                 {sparse, 1 << 20, follow, EFBIG},
                 {"/proc/self/stat", 1 << 20, follow, 0},
                 {"/proc/self/stat", 4, follow, EFBIG},
                 {fifo, 100, follow, EINVAL},
                 {home.path() / "link", 100, follow, 0},
                 {home.path() / "link", 100, refuse, ELOOP}};
    for (const auto& [path, cap, link, code] : cases) {
        Error error;
        const auto read =
            FileManager::contentsOfRegularFileAtPath(path.string(), cap, &error, link);
        EXPECT_EQ(read.has_value(), code == 0) << path;
        EXPECT_EQ(error.code, code) << path;
    }
    EXPECT_EQ(FileManager::contentsOfRegularFileAtPath((home.path() / "link").string(), 10),
              "0123456789");
    EXPECT_FALSE(FileManager::contentsOfRegularFileAtPath(home.path().string(), 100));
}

}  // namespace
