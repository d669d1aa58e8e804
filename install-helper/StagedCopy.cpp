#include "StagedCopy.h"

#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr mode_t kNeverShown = S_ISUID | S_ISGID | S_IWGRP | S_IWOTH;

// Refuses an entry that is a device node, FIFO or socket; takes the unsafe
// bits off any other but a symbolic link.
std::optional<std::string> sealEntry(const std::string& path) {
    struct stat status{};
    if (lstat(path.c_str(), &status) != 0) return platform::sys::failure("lstat") + ": " + path;
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) || S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) {
        return "the copy holds a device node, FIFO or socket: " + path;
    }
    if (S_ISLNK(status.st_mode) || (status.st_mode & kNeverShown) == 0) return std::nullopt;
    if (chmod(path.c_str(), status.st_mode & 07777 & ~kNeverShown) != 0) {
        return platform::sys::failure("chmod") + ": " + path;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> sealStagedCopy(const std::string& staged) {
    struct stat status{};
    if (lstat(staged.c_str(), &status) != 0) return "the copy is missing";
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) return "the copy is neither a plain file nor a folder";
    if (std::optional<std::string> refusal = sealEntry(staged)) return refusal;
    if (!S_ISDIR(status.st_mode)) return std::nullopt;
    std::error_code error;
    fs::recursive_directory_iterator entries(staged, error), end;
    for (; !error && entries != end; entries.increment(error)) {
        if (std::optional<std::string> refusal = sealEntry(entries->path().string())) return refusal;
    }
    if (error) return staged + " cannot be read: " + error.message();
    return std::nullopt;
}

std::optional<std::string> moveIntoPlace(const std::string& staged, const std::string& destination, bool replacing) {
    const unsigned flags = replacing ? RENAME_EXCHANGE : RENAME_NOREPLACE;
    if (renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, destination.c_str(), flags) == 0) return std::nullopt;
    if (!replacing || errno != EINVAL) return platform::sys::failure("renameat2");
    // A file system that cannot exchange: the installed copy steps aside
    // first, so that for a moment nothing is installed.
    const std::string aside = staged + ".previous";
    if (rename(destination.c_str(), aside.c_str()) != 0) return platform::sys::failure("rename");
    if (rename(staged.c_str(), destination.c_str()) != 0) {
        const std::string failed = platform::sys::failure("rename");
        rename(aside.c_str(), destination.c_str());
        return failed;
    }
    rename(aside.c_str(), staged.c_str());
    return std::nullopt;
}
