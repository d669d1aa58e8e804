#include "Foundation/Array.h"
#include "Foundation/FileManager.h"
#include "Foundation/RootOnlyPath.h"
#include "Foundation/String.h"
#include "support/TempDir.h"
#include "support/WhyFailed.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>

using namespace platform;
using testsupport::TempDir;

namespace {
bool exists(const std::string& path) { return FileManager::defaultManager()->fileExistsAtPath(make<String>(path).get()); }

std::vector<std::string> libraryPaths(unsigned long mask, unsigned long directory = NSLibraryDirectory) {
    std::vector<std::string> paths;
    Ref<Array> found = FileManager::defaultManager()->URLsForDirectory_inDomains(directory, mask);
    for (const Ref<Object>& entry : found->objects()) paths.push_back(objectAs<String>(entry.get())->text());
    return paths;
}
} // namespace

TEST(FileExistence, CountsFilesFoldersAndLinksByTheirTarget) {
    TempDir dir;
    testsupport::writeFile(dir.path() / "file", "x");
    std::filesystem::create_directory(dir.path() / "folder.plugin");
    std::filesystem::create_symlink(dir.path() / "file", dir.path() / "link");
    std::filesystem::create_symlink(dir.path() / "gone", dir.path() / "dangling");

    EXPECT_TRUE(exists(dir / "file"));
    EXPECT_TRUE(exists(dir / "folder.plugin"));
    EXPECT_TRUE(exists(dir / "link"));
    EXPECT_FALSE(exists(dir / "dangling"));
    EXPECT_FALSE(exists(dir / "missing"));
    EXPECT_FALSE(exists(""));
    EXPECT_FALSE(FileManager::defaultManager()->fileExistsAtPath(nullptr));
}

TEST(LibraryFolderLookup, NamesTheMachinesFoldersByDefault) {
    const passwd* user = getpwuid(geteuid());
    ASSERT_NE(user, nullptr);
    const std::string home = user->pw_dir;
    EXPECT_EQ(libraryPaths(NSUserDomainMask), std::vector<std::string>{(home == "/" ? "" : home) + "/Library"});
    EXPECT_EQ(libraryPaths(NSLocalDomainMask), std::vector<std::string>{"/Library"});
    EXPECT_EQ(libraryPaths(NSSystemDomainMask), std::vector<std::string>{"/System/Library"});
    EXPECT_EQ(libraryPaths(NSSystemDomainMask | NSLocalDomainMask),
              (std::vector<std::string>{"/Library", "/System/Library"}));
    EXPECT_TRUE(libraryPaths(NSNetworkDomainMask).empty());
    EXPECT_TRUE(libraryPaths(NSLocalDomainMask, 1).empty());  // only the Library folder kind is known
}

TEST(LibraryFolderLookup, TestsCanPutTemporaryFoldersInPlace) {
    {
        LibraryFoldersOverride folders({"/tmp/u/Library", "/tmp/l/Library", std::nullopt});
        EXPECT_EQ(libraryPaths(NSAllDomainsMask), (std::vector<std::string>{"/tmp/u/Library", "/tmp/l/Library"}));
        {
            LibraryFoldersOverride nested({std::nullopt, std::nullopt, "/tmp/s"});
            EXPECT_EQ(libraryPaths(NSAllDomainsMask), std::vector<std::string>{"/tmp/s"});
        }
        EXPECT_EQ(libraryPaths(NSLocalDomainMask), std::vector<std::string>{"/tmp/l/Library"});
    }
    EXPECT_EQ(libraryPaths(NSLocalDomainMask), std::vector<std::string>{"/Library"});
}

TEST(RootOnlyPath, NamesTheFirstFolderOthersCouldChange) {
    // Why others could change it; empty when only root can.
    const auto why = [](const std::string& path) { return testsupport::whyFailed(onlyRootCanChange(path)); };
    TempDir dir;  // in the temporary folder, which everyone may write
    std::filesystem::create_symlink("/usr/bin", dir.path() / "bin");
    EXPECT_EQ(why(dir / "bin/env"), "/tmp is writable by everyone");
    EXPECT_EQ(why("/tmp/../tmp/x"), "/tmp is writable by everyone");
    EXPECT_EQ(why("relative/x"), "relative/x is not an absolute path");
    // The system's own folders and files, through a link of root's too.
    EXPECT_EQ(why("/usr/bin/env"), "");
    EXPECT_EQ(why("/bin//sh"), "");
    // What does not exist yet could only be made by a writer of what does.
    EXPECT_EQ(why("/usr/no-such-folder/Library/QuickTime"), "");
}
