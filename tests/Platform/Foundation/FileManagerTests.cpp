// Faults the file operations and path texts must not have.

#include <PellinFoundation/FileManager.h>
#include <PellinFoundation/HomeOwner.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "TemporaryHome.h"

namespace {

namespace fs = std::filesystem;
using foundation::Error;
using foundation::FileManager;

TEST(ExistenceFollowsTheFinalLink, FilesFoldersAndLinks) {
    const pellin::test::TemporaryHome home;
    const fs::path file = home.writeFile("file.txt", "x");
    const fs::path folder = home.path() / "folder";
    fs::create_directory(folder);
    fs::create_symlink(file, home.path() / "link-to-file");
    fs::create_symlink(folder, home.path() / "link-to-folder");
    fs::create_symlink(home.path() / "missing", home.path() / "broken-link");

    EXPECT_TRUE(FileManager::fileExistsAtPath(file.string()));
    EXPECT_TRUE(FileManager::fileExistsAtPath(folder.string()));
    EXPECT_TRUE(FileManager::fileExistsAtPath((home.path() / "link-to-file").string()));
    EXPECT_TRUE(FileManager::fileExistsAtPath((home.path() / "link-to-folder").string()));
    EXPECT_FALSE(FileManager::fileExistsAtPath((home.path() / "broken-link").string()));
    EXPECT_FALSE(FileManager::fileExistsAtPath((home.path() / "missing").string()));
    EXPECT_FALSE(FileManager::fileExistsAtPath((file / "below-a-file").string()));
    EXPECT_FALSE(FileManager::fileExistsAtPath(""));
}

TEST(FoldersAreCreatedAsAsked, WithAndWithoutParents) {
    const pellin::test::TemporaryHome home;
    const fs::path deep = home.path() / "a" / "b" / "c";
    Error error;
    EXPECT_FALSE(FileManager::createDirectoryAtPath(deep.string(), false, &error));
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_FALSE(error.localizedDescription.empty());
    EXPECT_FALSE(fs::exists(home.path() / "a"));

    EXPECT_TRUE(FileManager::createDirectoryAtPath(deep.string(), true, nullptr));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(FileManager::createDirectoryAtPath(deep.string(), true, nullptr));  // existing

    Error existing;
    EXPECT_FALSE(FileManager::createDirectoryAtPath(deep.string(), false, &existing));
    EXPECT_EQ(existing.code, EEXIST);
}

TEST(FoldersAreCreatedAsAsked, AFileInTheWayIsAFailure) {
    const pellin::test::TemporaryHome home;
    const fs::path file = home.writeFile("file", "x");
    for (const bool parents : {true, false}) {
        Error error;
        EXPECT_FALSE(FileManager::createDirectoryAtPath(file.string(), parents, &error));
        EXPECT_NE(error.code, 0);
        EXPECT_NE(error.localizedDescription.find(file.string()), std::string::npos)
            << error.localizedDescription;
        Error below;
        EXPECT_FALSE(FileManager::createDirectoryAtPath((file / "sub").string(), parents, &below));
        EXPECT_EQ(below.code, ENOTDIR);
    }
    EXPECT_EQ(pellin::test::readFile(file), "x");
    EXPECT_FALSE(FileManager::createDirectoryAtPath("", true, nullptr));
}

TEST(RemovalTakesTheWholeTreeAndNoMore, FoldersFilesAndLinks) {
    const pellin::test::TemporaryHome home;
    home.writeFile("tree/a/b/file", "x");
    home.writeFile("tree/top", "y");
    const fs::path outside = home.writeFile("outside/kept", "kept");
    fs::create_symlink(home.path() / "outside", home.path() / "tree" / "link-out");

    EXPECT_TRUE(FileManager::removeItemAtPath((home.path() / "tree").string(), nullptr));
    EXPECT_FALSE(fs::exists(home.path() / "tree"));
    EXPECT_EQ(pellin::test::readFile(outside), "kept");

    fs::create_symlink(home.path() / "outside", home.path() / "link");
    EXPECT_TRUE(FileManager::removeItemAtPath((home.path() / "link").string(), nullptr));
    EXPECT_FALSE(fs::is_symlink(home.path() / "link"));
    EXPECT_TRUE(fs::exists(outside));

    fs::create_symlink(home.path() / "nowhere", home.path() / "broken");
    EXPECT_TRUE(FileManager::removeItemAtPath((home.path() / "broken").string(), nullptr));
    EXPECT_FALSE(fs::is_symlink(home.path() / "broken"));

    EXPECT_TRUE(FileManager::removeItemAtPath(outside.string(), nullptr));
    EXPECT_FALSE(fs::exists(outside));
}

TEST(RemovalTakesTheWholeTreeAndNoMore, FailuresCarryCodeAndDescription) {
    const pellin::test::TemporaryHome home;
    Error missing;
    const fs::path nothing = home.path() / "nothing here";
    EXPECT_FALSE(FileManager::removeItemAtPath(nothing.string(), &missing));
    EXPECT_EQ(missing.code, ENOENT);
    EXPECT_NE(missing.localizedDescription.find("nothing here"), std::string::npos);
    EXPECT_NE(missing.localizedDescription.find("No such file or directory"), std::string::npos)
        << missing.localizedDescription;

    const fs::path file = home.writeFile("file", "x");
    Error belowFile;
    EXPECT_FALSE(FileManager::removeItemAtPath((file / "child").string(), &belowFile));
    EXPECT_EQ(belowFile.code, ENOTDIR);

    Error empty;
    EXPECT_FALSE(FileManager::removeItemAtPath("", &empty));
    EXPECT_EQ(empty.code, ENOENT);
    EXPECT_FALSE(FileManager::removeItemAtPath("", nullptr));
}

TEST(RemovalTakesTheWholeTreeAndNoMore, TheRootFolderIsRefused) {
    for (const char* root : {"/", "//", "/./", "/../"}) {
        Error error;
        EXPECT_FALSE(FileManager::removeItemAtPath(root, &error)) << root;
        EXPECT_EQ(error.code, EBUSY);
    }
    EXPECT_TRUE(fs::exists("/tmp"));
}

TEST(TildeExpansionUsesTheHomeOfTheMoment, LeadingTildeOnly) {
    const pellin::test::TemporaryHome home;
    const std::string h = home.path().string();
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("~"), h);
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("~/Applications/K.app"),
              h + "/Applications/K.app");
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("~other/x"), "~other/x");
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("a/~"), "a/~");
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("/abs/path"), "/abs/path");
    EXPECT_EQ(foundation::stringByExpandingTildeInPath(""), "");
    EXPECT_EQ(foundation::homeDirectory(), h);

    {
        const pellin::test::TemporaryHome other("other home");
        EXPECT_EQ(foundation::stringByExpandingTildeInPath("~/x"), other.path().string() + "/x");
    }
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("~/x"), h + "/x");

    setenv("HOME", (h + "/").c_str(), 1);
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("~/x"), h + "/x");
    setenv("HOME", "/", 1);
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("~/x"), "/x");
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("~"), "/");
}

TEST(TildeExpansionUsesTheHomeOfTheMoment, WithoutHomeThePasswordDatabaseAnswers) {
    const pellin::test::TemporaryHome home;
    unsetenv("HOME");
    const std::string fromPasswd = foundation::homeDirectory();
    EXPECT_FALSE(fromPasswd.empty());
    EXPECT_EQ(foundation::stringByExpandingTildeInPath("~/x"),
              fromPasswd + (fromPasswd == "/" ? "x" : "/x"));
    setenv("HOME", "", 1);
    EXPECT_EQ(foundation::homeDirectory(), fromPasswd);
    EXPECT_EQ(foundation::absoluteHomeDirectory(), fromPasswd);
    // A relative home is no home: it would name a folder below wherever the program started.
    for (const char* relative : {"home/user", "./x", "-x", "~"}) {
        setenv("HOME", relative, 1);
        EXPECT_FALSE(foundation::absoluteHomeDirectory()) << relative;
    }
}

TEST(LastComponentRemoval, EdgeCases) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/b/c.app", "/a/b"},
        {"~/Applications/K.app", "~/Applications"},
        {"/a", "/"},
        {"a", ""},
        {"/a/b/", "/a"},
        {"/a/b///", "/a"},
        {"/", "/"},
        {"//", "/"},
        {"", ""},
        {"a/b", "a"},
        {"/a//b", "/a"},
        {"~", ""},
    };
    for (const auto& [path, parent] : cases) {
        EXPECT_EQ(foundation::stringByDeletingLastPathComponent(path), parent) << path;
    }
}

TEST(LastComponentRemoval, TheLastComponentItself) {
    const std::pair<const char*, const char*> cases[] = {
        {"/a/b.cpp", "b.cpp"}, {"/a/b/", "b"}, {"/", "/"}, {"", ""}, {"a", "a"},
        {"~/K.app", "K.app"},
    };
    for (const auto& [path, last] : cases) {
        EXPECT_EQ(foundation::lastPathComponent(path), last) << path;
    }
}

TEST(FilesOfOtherProgramsAreReadWithBounds, SizeKindAndLinks) {
    const pellin::test::TemporaryHome home;
    const auto read = [](const fs::path& path, std::size_t cap, Error* error = nullptr,
                         FileManager::FinalLink link = FileManager::FinalLink::Follow) {
        return FileManager::contentsOfRegularFileAtPath(path.string(), cap, error, link);
    };
    const fs::path file = home.writeFile("file", "0123456789");
    EXPECT_EQ(read(file, 10), "0123456789");  // exactly at the bound
    Error tooLarge;
    EXPECT_FALSE(read(file, 9, &tooLarge));
    EXPECT_EQ(tooLarge.code, EFBIG);
    EXPECT_NE(tooLarge.localizedDescription.find(file.string()), std::string::npos);

    // A huge sparse file is refused from its size, never allocated.
    const fs::path sparse = home.path() / "sparse";
    {
        std::FILE* out = std::fopen(sparse.c_str(), "w");
        std::fclose(out);
    }
    fs::resize_file(sparse, std::uintmax_t{30} << 30);
    Error sparseError;
    EXPECT_FALSE(read(sparse, 1 << 20, &sparseError));
    EXPECT_EQ(sparseError.code, EFBIG);

    // Files that report no size (as in /proc) are bounded by the read itself.
    EXPECT_TRUE(read("/proc/self/stat", 1 << 20));
    Error procError;
    EXPECT_FALSE(read("/proc/self/stat", 4, &procError));
    EXPECT_EQ(procError.code, EFBIG);

    // A FIFO nobody writes is refused at once instead of blocking; so is a folder.
    const fs::path fifo = home.path() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Error fifoError;
    EXPECT_FALSE(read(fifo, 100, &fifoError));
    EXPECT_EQ(fifoError.code, EINVAL);
    EXPECT_FALSE(read(home.path(), 100));
    EXPECT_FALSE(read(home.path() / "missing", 100));

    // A final link is followed unless the caller refuses it.
    fs::create_symlink(file, home.path() / "link");
    EXPECT_EQ(read(home.path() / "link", 100), "0123456789");
    Error linkError;
    EXPECT_FALSE(read(home.path() / "link", 100, &linkError, FileManager::FinalLink::Refuse));
    EXPECT_EQ(linkError.code, ELOOP);
    EXPECT_EQ(read(file, 100, nullptr, FileManager::FinalLink::Refuse), "0123456789");
}

TEST(RootLeavesNothingOfItsOwnInAUsersHome, CreatedFilesGoToTheHomesOwner) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving files to another user needs root";
    }
    const pellin::test::TemporaryHome home;
    // Not root's home: nothing to change.
    EXPECT_FALSE(foundation::ownerOfCreatedFiles());
    constexpr uid_t kNobody = 65534;
    ASSERT_EQ(chown(home.path().c_str(), kNobody, kNobody), 0);
    const std::optional<foundation::Owner> owner = foundation::ownerOfCreatedFiles();
    ASSERT_TRUE(owner);
    EXPECT_EQ(owner->uid, kNobody);

    const fs::path file = home.writeFile("created-by-root");
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(foundation::giveToHomeOwner(fd));
    close(fd);
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kNobody);
    EXPECT_EQ(info.st_gid, owner->gid);
}

}  // namespace
