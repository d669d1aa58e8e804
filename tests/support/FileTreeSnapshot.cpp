#include "support/FileTreeSnapshot.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// FNV-1a over the whole file.
unsigned long long hashOfFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned long long hash = 14695981039346656037ull;
    char byte;
    while (in.get(byte)) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ull;
    }
    return hash;
}

FileTreeEntry entryAt(const fs::path& path) {
    FileTreeEntry entry;
    struct stat status{};
    if (lstat(path.c_str(), &status) != 0) return entry;
    entry.mode = status.st_mode & 07777;
    entry.owner = status.st_uid;
    entry.group = status.st_gid;
    if (S_ISDIR(status.st_mode)) {
        entry.type = 'd';
    } else if (S_ISLNK(status.st_mode)) {
        entry.type = 'l';
        entry.size = static_cast<unsigned long long>(status.st_size);
        entry.linkTarget = fs::read_symlink(path).string();
    } else if (S_ISREG(status.st_mode)) {
        entry.type = 'f';
        entry.size = static_cast<unsigned long long>(status.st_size);
        if (entry.size <= kHashedFileSize) entry.contentHash = hashOfFile(path);
    } else {
        entry.type = 'o';
    }
    return entry;
}

} // namespace

std::string FileTreeEntry::describe() const {
    std::ostringstream text;
    text << type << " " << std::oct << mode << std::dec << " " << owner << ":" << group;
    if (type != 'd') text << " " << size << " bytes";
    if (type == 'l') text << " -> " << linkTarget;
    if (type == 'f') text << " #" << std::hex << contentHash;
    return text.str();
}

FileTreeSnapshot snapshotFileTrees(const std::vector<std::pair<fs::path, std::string>>& roots) {
    FileTreeSnapshot snapshot;
    for (const auto& [host, shownAs] : roots) {
        snapshot[shownAs] = entryAt(host);
        if (!fs::is_directory(fs::symlink_status(host))) continue;
        const std::size_t prefix = host.string().size();
        for (const auto& item : fs::recursive_directory_iterator(host)) {
            snapshot[shownAs + item.path().string().substr(prefix)] = entryAt(item.path());
        }
    }
    return snapshot;
}

std::vector<FileTreeChange> fileTreeChanges(const FileTreeSnapshot& before, const FileTreeSnapshot& after) {
    std::vector<FileTreeChange> changes;
    for (const auto& [path, entry] : before) {
        const auto found = after.find(path);
        if (found == after.end()) changes.push_back({path, entry.describe(), {}});
        else if (!(found->second == entry)) changes.push_back({path, entry.describe(), found->second.describe()});
    }
    for (const auto& [path, entry] : after) {
        if (!before.contains(path)) changes.push_back({path, {}, entry.describe()});
    }
    return changes;
}

} // namespace testsupport
