#include "StagedCopy.h"

#include "Foundation/Descriptor.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <filesystem>

namespace fs = std::filesystem;
namespace sys = platform::sys;
using platform::ErrorOr;
using platform::Failure;

namespace {

constexpr mode_t kNeverShown = S_ISUID | S_ISGID | S_IWGRP | S_IWOTH;

// Refuses an entry that is a device node, FIFO or socket; takes the unsafe
// bits off any other but a symbolic link.
ErrorOr<void> sealEntry(const std::string& path) {
    const struct stat status = TRY(sys::lstat(path.c_str()).about(path));
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) || S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) {
        return Failure::refusal("the copy holds a device node, FIFO or socket: " + path);
    }
    if (S_ISLNK(status.st_mode) || (status.st_mode & kNeverShown) == 0) return {};
    return sys::chmod(path.c_str(), status.st_mode & 07777 & ~kNeverShown).about(path);
}

// The kind of entry a mode is, in words.
const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISLNK(mode)) return "a symbolic link";
    return "a file";
}

// Whether `staged` holds what `source` is: of its kind, and a file of its size.
ErrorOr<void> compareEntry(const std::string& source, const std::string& staged) {
    const struct stat original = TRY(sys::lstat(source.c_str()).about(source));
    const ErrorOr<struct stat> copied = sys::lstat(staged.c_str());
    if (copied.isError()) return Failure::refusal("the copy lacks " + staged);
    const struct stat& copy = copied.value();
    if ((original.st_mode & S_IFMT) != (copy.st_mode & S_IFMT)) {
        return Failure::refusal(staged + " is " + kindOf(copy.st_mode) + ", not " + kindOf(original.st_mode));
    }
    if (S_ISREG(original.st_mode) && original.st_size != copy.st_size) {
        return Failure::refusal(staged + " holds " + std::to_string(copy.st_size) + " of " +
                                std::to_string(original.st_size) + " bytes");
    }
    return {};
}

// Opens `path` with `flags` and runs `call` on it.
ErrorOr<void> syncThrough(const std::string& path, int flags, ErrorOr<void> (*call)(int)) {
    const platform::Descriptor fd = TRY(sys::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | flags).about(path));
    return call(fd.get()).about(path);
}

} // namespace

ErrorOr<void> checkCopyIsWhole(const std::string& source, const std::string& staged) {
    TRY(compareEntry(source, staged));
    if (!fs::is_directory(fs::symlink_status(source))) return {};
    std::error_code error;
    fs::recursive_directory_iterator entries(source, error), end;
    for (; !error && entries != end; entries.increment(error)) {
        const std::string relative = entries->path().string().substr(source.size());
        TRY(compareEntry(entries->path().string(), staged + relative));
    }
    if (error) return Failure::refusal(source + " cannot be read: " + error.message());
    return {};
}

ErrorOr<void> syncFileSystemOf(const std::string& path) { return syncThrough(path, O_NONBLOCK, sys::syncfs); }

ErrorOr<void> syncFolderOf(const std::string& path) {
    return syncThrough(fs::path(path).parent_path().string(), O_DIRECTORY, sys::fsync);
}

ErrorOr<void> sealStagedCopy(const std::string& staged) {
    const ErrorOr<struct stat> examined = sys::lstat(staged.c_str());
    if (examined.isError()) return Failure::refusal("the copy is missing");
    const mode_t mode = examined.value().st_mode;
    if (!S_ISREG(mode) && !S_ISDIR(mode)) return Failure::refusal("the copy is neither a plain file nor a folder");
    TRY(sealEntry(staged));
    if (!S_ISDIR(mode)) return {};
    std::error_code error;
    fs::recursive_directory_iterator entries(staged, error), end;
    for (; !error && entries != end; entries.increment(error)) TRY(sealEntry(entries->path().string()));
    if (error) return Failure::refusal(staged + " cannot be read: " + error.message());
    return {};
}

ErrorOr<void> moveIntoPlace(const std::string& staged, const std::string& destination, bool replacing) {
    // Both names, and the copy a merge replaced (which lies in the room
    // until the room goes), are on disk before anything is deleted.
    const auto synced = [&]() -> ErrorOr<void> {
        TRY(syncFolderOf(destination));
        return syncFolderOf(staged);
    };
    const unsigned flags = replacing ? RENAME_EXCHANGE : RENAME_NOREPLACE;
    ErrorOr<void> renamed = sys::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, destination.c_str(), flags);
    if (!renamed.isError()) return synced();
    if (!replacing || renamed.error().code() != EINVAL) return renamed;
    // A file system that cannot exchange: the installed copy steps aside
    // first, so that for a moment nothing is installed.
    const std::string aside = staged + ".previous";
    TRY(sys::rename(destination.c_str(), aside.c_str()));
    if (ErrorOr<void> moved = sys::rename(staged.c_str(), destination.c_str()); moved.isError()) {
        (void)sys::rename(aside.c_str(), destination.c_str());
        return moved;
    }
    (void)sys::rename(aside.c_str(), staged.c_str());
    return synced();
}
