#pragma once

// What a set of folder trees holds, entry by entry, to tell afterwards what a
// program changed in them.

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct FileTreeEntry {
    char type = '?';             // 'd' folder, 'f' regular file, 'l' symbolic link, 'o' other
    unsigned mode = 0;           // permission bits
    unsigned owner = 0;
    unsigned group = 0;
    unsigned long long size = 0;  // files and links only: a folder's size says nothing portable
    std::string linkTarget;
    unsigned long long contentHash = 0;  // files up to kHashedFileSize only

    bool operator==(const FileTreeEntry&) const = default;
    std::string describe() const;
};

inline constexpr unsigned long long kHashedFileSize = 64 * 1024;

// Entries by the path under which the program sees them.
using FileTreeSnapshot = std::map<std::string, FileTreeEntry>;

// Every entry at and below each host folder, symbolic links not followed,
// keyed by `shownAs` followed by the entry's path below the folder.
// Roots: {host folder, shown as}.
FileTreeSnapshot snapshotFileTrees(const std::vector<std::pair<std::filesystem::path, std::string>>& roots);

struct FileTreeChange {
    std::string path;
    std::string before;  // empty when the entry was added
    std::string after;   // empty when the entry was removed
};

std::vector<FileTreeChange> fileTreeChanges(const FileTreeSnapshot& before, const FileTreeSnapshot& after);

} // namespace testsupport
