#pragma once

// Thin wrappers over system calls: each runs its call again while a signal
// interrupts it, and a failure can be told with the call's name.

#include "Foundation/Descriptor.h"
#include "Foundation/ErrorOr.h"

#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

struct mount_attr;

namespace platform::sys {

// Runs `call` (returning -1 and setting errno on failure) until it is not
// interrupted by a signal; returns its last result.
template <class Call>
auto retryingInterrupts(Call&& call) {
    auto result = call();
    while (result == -1 && errno == EINTR) result = call();
    return result;
}

// The ends of a pipe and of a pair of connected sockets, close-on-exec.
struct Pipe {
    Descriptor reading;
    Descriptor writing;
};
struct SocketPair {
    Descriptor ours;
    Descriptor theirs;
};

// The calls of these names: a failure names the call and keeps its errno.
ErrorOr<Pipe> pipe();
ErrorOr<SocketPair> socketpair(int domain, int type);
ErrorOr<Descriptor> open(const char* path, int flags, mode_t mode = 0);
ErrorOr<Descriptor> open_tree(int folder, const char* path, unsigned flags);
ErrorOr<struct stat> stat(const char* path);
ErrorOr<struct stat> lstat(const char* path);
ErrorOr<struct stat> fstat(int fd);
ErrorOr<struct statx> statx(int folder, const char* path, int flags, unsigned mask);
ErrorOr<struct statvfs> statvfs(const char* path);
ErrorOr<void> access(const char* path, int mode);
// As access, with the effective user's rights (faccessat with AT_EACCESS).
ErrorOr<void> accessAsEffectiveUser(const char* path, int mode);
// The descriptor's status flags (fcntl F_GETFL).
ErrorOr<int> statusFlags(int fd);
// A close-on-exec copy of the descriptor numbered `lowest` or above (fcntl F_DUPFD_CLOEXEC).
ErrorOr<Descriptor> duplicate(int fd, int lowest);
ErrorOr<Descriptor> eventfd(unsigned initial, int flags);
ErrorOr<rlimit> getrlimit(int resource);
ErrorOr<void> setrlimit(int resource, const rlimit& limit);
ErrorOr<void> setuid(uid_t user);
ErrorOr<void> kill(pid_t pid, int signal);
// The count of descriptors ready.
ErrorOr<int> poll(pollfd* descriptors, nfds_t count, int timeoutMilliseconds);
ErrorOr<void> chdir(const char* path);
// How many bytes were read, received or sent; 0 read or received: the end.
ErrorOr<std::size_t> read(int fd, void* buffer, std::size_t size);
ErrorOr<std::size_t> recv(int fd, void* buffer, std::size_t size, int flags);
ErrorOr<std::size_t> send(int fd, std::string_view bytes, int flags);
ErrorOr<void> dup2(int from, int to);
ErrorOr<void> chmod(const char* path, mode_t mode);
ErrorOr<void> fchmod(int fd, mode_t mode);
ErrorOr<void> fchown(int fd, uid_t owner, gid_t group);
ErrorOr<void> ftruncate(int fd, off_t length);
ErrorOr<void> mkdir(const char* path, mode_t mode);
ErrorOr<void> rename(const char* from, const char* to);
ErrorOr<void> renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags);
ErrorOr<void> fsync(int fd);
ErrorOr<void> syncfs(int fd);
ErrorOr<void> flock(int fd, int operation);
ErrorOr<void> mount(const char* source, const char* target, const char* type, unsigned long flags, const void* data);
ErrorOr<void> mount_setattr(int folder, const char* path, unsigned flags, const mount_attr& attributes);
ErrorOr<void> move_mount(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags);
ErrorOr<void> unshare(int flags);
ErrorOr<void> prctl(int option, unsigned long second = 0, unsigned long third = 0);

// A call the C library has no function for, by its number; `name` names it.
template <class... Arguments>
ErrorOr<long> syscall(const char* name, long number, Arguments... arguments) {
    const long result = retryingInterrupts([&] { return ::syscall(number, arguments...); });
    if (result == -1) return Failure::ofCall(name);
    return result;
}

// Writes all of `bytes` at `offset`, as pwrite does piece by piece.
ErrorOr<void> pwriteAll(int fd, std::string_view bytes, off_t offset);

// As mkdir, and a folder already there is no failure.
ErrorOr<void> mkdirUnlessThere(const char* path, mode_t mode);

// Writes all of `bytes`; a failure when the descriptor takes no more.
ErrorOr<void> writeAll(int fd, std::string_view bytes);

// As writeAll, to a socket: a peer that went away is a failure (EPIPE),
// never a SIGPIPE.
ErrorOr<void> sendAll(int fd, std::string_view bytes);

// Reads until end of stream or `limit` bytes, or until a line has arrived
// when `untilNewline`; what arrived before an error is returned.
std::string readUpTo(int fd, std::size_t limit, bool untilNewline = false);

// As readUpTo, until end of stream or `limit` bytes, but for no longer than
// `timeout`: absent when neither came in time.
std::optional<std::string> readUpToWithin(int fd, std::size_t limit, std::chrono::milliseconds timeout);

// Waits for a child; its wait status, or -1 (errno set).
int waitForChild(pid_t pid);

// The path with every symbolic link, "." and ".." resolved; absent (errno
// set) when it cannot be.
std::optional<std::string> resolvedPath(const std::string& path);

} // namespace platform::sys
