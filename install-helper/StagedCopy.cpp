#include "StagedCopy.h"

#include "Foundation/Descriptor.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

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

// The kind of entry a mode is, in words.
const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "a file";
}

// Whether `staged` holds what `source` is: of its kind, and a file of its size.
std::optional<std::string> compareEntry(const std::string& source, const std::string& staged) {
    struct stat original{};
    struct stat copy{};
    if (lstat(source.c_str(), &original) != 0) return platform::sys::failure("lstat") + ": " + source;
    if (lstat(staged.c_str(), &copy) != 0) return "the copy lacks " + staged;
    if ((original.st_mode & S_IFMT) != (copy.st_mode & S_IFMT)) {
        return staged + " is " + kindOf(copy.st_mode) + ", not " + kindOf(original.st_mode);
    }
    if (S_ISREG(original.st_mode) && original.st_size != copy.st_size) {
        return staged + " holds " + std::to_string(copy.st_size) + " of " + std::to_string(original.st_size) + " bytes";
    }
    return std::nullopt;
}

// Opens `path` with `flags` and runs `call` (`name`) on it: why either
// failed, or nothing.
std::optional<std::string> syncThrough(const std::string& path, int flags, int (*call)(int), const char* name) {
    const platform::Descriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | flags));
    if (!fd) return platform::sys::failure("open") + ": " + path;
    if (call(fd.get()) != 0) return platform::sys::failure(name) + ": " + path;
    return std::nullopt;
}

} // namespace

std::optional<std::string> whatTheCopyLacks(const std::string& source, const std::string& staged) {
    if (std::optional<std::string> lack = compareEntry(source, staged)) return lack;
    if (!fs::is_directory(fs::symlink_status(source))) return std::nullopt;
    std::error_code error;
    fs::recursive_directory_iterator entries(source, error), end;
    for (; !error && entries != end; entries.increment(error)) {
        const std::string relative = entries->path().string().substr(source.size());
        if (std::optional<std::string> lack = compareEntry(entries->path().string(), staged + relative)) return lack;
    }
    if (error) return source + " cannot be read: " + error.message();
    return std::nullopt;
}

std::optional<std::string> syncFileSystemOf(const std::string& path) {
    return syncThrough(path, O_NONBLOCK, syncfs, "syncfs");
}

std::optional<std::string> syncFolderOf(const std::string& path) {
    return syncThrough(fs::path(path).parent_path().string(), O_DIRECTORY, fsync, "fsync");
}

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
    // Both names, and the copy a merge replaced (which lies in the room
    // until the room goes), are on disk before anything is deleted.
    const auto synced = [&]() -> std::optional<std::string> {
        if (std::optional<std::string> failed = syncFolderOf(destination)) return failed;
        return syncFolderOf(staged);
    };
    const unsigned flags = replacing ? RENAME_EXCHANGE : RENAME_NOREPLACE;
    if (renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, destination.c_str(), flags) == 0) return synced();
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
    return synced();
}
