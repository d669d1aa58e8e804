#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/eventfd.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace platform::sys {

namespace {

// Hands `bytes` to `write` (which takes what is left and returns how much it
// took, or -1) until all are taken; false (errno set) when one takes none.
template <class Write>
bool writeInPieces(std::string_view bytes, Write&& write) {
    while (!bytes.empty()) {
        const ssize_t written = retryingInterrupts([&] { return write(bytes); });
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Runs `call` as retryingInterrupts does: nothing, or the failure of `name`.
template <class Call>
ErrorOr<void> succeeded(const char* name, Call&& call) {
    if (retryingInterrupts(call) != 0) return Failure::ofCall(name);
    return {};
}

// Runs `call` as retryingInterrupts does: the descriptor it gave, or the
// failure of `name`.
template <class Call>
ErrorOr<Descriptor> opened(const char* name, Call&& call) {
    Descriptor fd(retryingInterrupts(call));
    if (!fd) return Failure::ofCall(name);
    return fd;
}

// Runs `call` on a `Status` as retryingInterrupts does: the status, or the
// failure of `name`.
template <class Status, class Call>
ErrorOr<Status> examined(const char* name, Call&& call) {
    Status status{};
    if (retryingInterrupts([&] { return call(status); }) != 0) return Failure::ofCall(name);
    return status;
}

} // namespace

ErrorOr<Pipe> pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return Failure::ofCall("pipe2");
    return Pipe{Descriptor(ends[0]), Descriptor(ends[1])};
}

ErrorOr<SocketPair> socketpair(int domain, int type) {
    int ends[2];
    if (::socketpair(domain, type | SOCK_CLOEXEC, 0, ends) != 0) return Failure::ofCall("socketpair");
    return SocketPair{Descriptor(ends[0]), Descriptor(ends[1])};
}

ErrorOr<Descriptor> open(const char* path, int flags, mode_t mode) {
    return opened("open", [&] { return ::open(path, flags, mode); });
}
ErrorOr<Descriptor> open_tree(int folder, const char* path, unsigned flags) {
    return opened("open_tree", [&] { return ::open_tree(folder, path, flags); });
}

ErrorOr<struct stat> stat(const char* path) {
    return examined<struct stat>("stat", [&](struct stat& status) { return ::stat(path, &status); });
}
ErrorOr<struct stat> lstat(const char* path) {
    return examined<struct stat>("lstat", [&](struct stat& status) { return ::lstat(path, &status); });
}
ErrorOr<struct stat> fstat(int fd) {
    return examined<struct stat>("fstat", [&](struct stat& status) { return ::fstat(fd, &status); });
}
ErrorOr<struct statx> statx(int folder, const char* path, int flags, unsigned mask) {
    return examined<struct statx>("statx", [&](struct statx& to) { return ::statx(folder, path, flags, mask, &to); });
}
ErrorOr<struct statvfs> statvfs(const char* path) {
    return examined<struct statvfs>("statvfs", [&](struct statvfs& status) { return ::statvfs(path, &status); });
}

ErrorOr<void> access(const char* path, int mode) { return succeeded("access", [&] { return ::access(path, mode); }); }
ErrorOr<void> accessAsEffectiveUser(const char* path, int mode) {
    return succeeded("faccessat", [&] { return ::faccessat(AT_FDCWD, path, mode, AT_EACCESS); });
}
ErrorOr<int> statusFlags(int fd) {
    const int flags = retryingInterrupts([&] { return ::fcntl(fd, F_GETFL); });
    if (flags == -1) return Failure::ofCall("fcntl");
    return flags;
}
ErrorOr<Descriptor> duplicate(int fd, int lowest) {
    return opened("fcntl", [&] { return ::fcntl(fd, F_DUPFD_CLOEXEC, lowest); });
}
ErrorOr<Descriptor> eventfd(unsigned initial, int flags) {
    return opened("eventfd", [&] { return ::eventfd(initial, flags); });
}
ErrorOr<rlimit> getrlimit(int resource) {
    return examined<rlimit>("getrlimit", [&](rlimit& limit) {
        return ::getrlimit(static_cast<__rlimit_resource_t>(resource), &limit);
    });
}
ErrorOr<void> setrlimit(int resource, const rlimit& limit) {
    return succeeded("setrlimit", [&] { return ::setrlimit(static_cast<__rlimit_resource_t>(resource), &limit); });
}
ErrorOr<void> setuid(uid_t user) { return succeeded("setuid", [&] { return ::setuid(user); }); }
ErrorOr<void> kill(pid_t pid, int signal) { return succeeded("kill", [&] { return ::kill(pid, signal); }); }
ErrorOr<void> chdir(const char* path) { return succeeded("chdir", [&] { return ::chdir(path); }); }

namespace {
// The count a transfer call returned, or its failure.
template <class Call>
ErrorOr<std::size_t> transferred(const char* name, Call&& call) {
    const ssize_t count = retryingInterrupts(call);
    if (count < 0) return Failure::ofCall(name);
    return static_cast<std::size_t>(count);
}
} // namespace

ErrorOr<std::size_t> read(int fd, void* buffer, std::size_t size) {
    return transferred("read", [&] { return ::read(fd, buffer, size); });
}
ErrorOr<std::size_t> recv(int fd, void* buffer, std::size_t size, int flags) {
    return transferred("recv", [&] { return ::recv(fd, buffer, size, flags); });
}
ErrorOr<std::size_t> send(int fd, std::string_view bytes, int flags) {
    return transferred("send", [&] { return ::send(fd, bytes.data(), bytes.size(), flags); });
}

ErrorOr<int> poll(pollfd* descriptors, nfds_t count, int timeoutMilliseconds) {
    const int ready = retryingInterrupts([&] { return ::poll(descriptors, count, timeoutMilliseconds); });
    if (ready == -1) return Failure::ofCall("poll");
    return ready;
}
ErrorOr<void> chmod(const char* path, mode_t mode) { return succeeded("chmod", [&] { return ::chmod(path, mode); }); }
ErrorOr<void> fchmod(int fd, mode_t mode) { return succeeded("fchmod", [&] { return ::fchmod(fd, mode); }); }
ErrorOr<void> fchown(int fd, uid_t owner, gid_t group) {
    return succeeded("fchown", [&] { return ::fchown(fd, owner, group); });
}
ErrorOr<void> ftruncate(int fd, off_t length) {
    return succeeded("ftruncate", [&] { return ::ftruncate(fd, length); });
}
ErrorOr<void> mkdir(const char* path, mode_t mode) { return succeeded("mkdir", [&] { return ::mkdir(path, mode); }); }
ErrorOr<void> rename(const char* from, const char* to) {
    return succeeded("rename", [&] { return ::rename(from, to); });
}
ErrorOr<void> renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
    return succeeded("renameat2", [&] { return ::renameat2(fromFolder, from, toFolder, to, flags); });
}
ErrorOr<void> fsync(int fd) { return succeeded("fsync", [&] { return ::fsync(fd); }); }
ErrorOr<void> syncfs(int fd) { return succeeded("syncfs", [&] { return ::syncfs(fd); }); }
ErrorOr<void> flock(int fd, int operation) { return succeeded("flock", [&] { return ::flock(fd, operation); }); }
ErrorOr<void> mount(const char* source, const char* target, const char* type, unsigned long flags, const void* data) {
    return succeeded("mount", [&] { return ::mount(source, target, type, flags, data); });
}
ErrorOr<void> mount_setattr(int folder, const char* path, unsigned flags, const mount_attr& attributes) {
    mount_attr copy = attributes;
    return succeeded("mount_setattr", [&] { return ::mount_setattr(folder, path, flags, &copy, sizeof copy); });
}
ErrorOr<void> move_mount(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
    return succeeded("move_mount", [&] { return ::move_mount(fromFolder, from, toFolder, to, flags); });
}
ErrorOr<void> unshare(int flags) { return succeeded("unshare", [&] { return ::unshare(flags); }); }
ErrorOr<void> prctl(int option, unsigned long second, unsigned long third) {
    return succeeded("prctl", [&] { return ::prctl(option, second, third, 0UL, 0UL); });
}

ErrorOr<void> dup2(int from, int to) {
    if (retryingInterrupts([&] { return ::dup2(from, to); }) < 0) return Failure::ofCall("dup2");
    return {};
}

ErrorOr<void> mkdirUnlessThere(const char* path, mode_t mode) {
    ErrorOr<void> made = mkdir(path, mode);
    if (made.isError() && made.error().code() == EEXIST) return {};
    return made;
}

ErrorOr<void> pwriteAll(int fd, std::string_view bytes, off_t offset) {
    const bool written = writeInPieces(bytes, [&](std::string_view rest) {
        const ssize_t piece = ::pwrite(fd, rest.data(), rest.size(), offset);
        if (piece > 0) offset += piece;
        return piece;
    });
    if (!written) return Failure::ofCall("pwrite");
    return {};
}

ErrorOr<void> writeAll(int fd, std::string_view bytes) {
    if (!writeInPieces(bytes, [&](std::string_view rest) { return ::write(fd, rest.data(), rest.size()); })) {
        return Failure::ofCall("write");
    }
    return {};
}

ErrorOr<void> sendAll(int fd, std::string_view bytes) {
    if (!writeInPieces(bytes, [&](std::string_view rest) { return ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL); })) {
        return Failure::ofCall("send");
    }
    return {};
}

namespace {

// Reads into `bytes` as readUpTo does; with a deadline, waits for each piece
// no longer than until then. False when the deadline passed first.
bool readInto(std::string& bytes, int fd, std::size_t limit, bool untilNewline,
              const std::chrono::steady_clock::time_point* deadline) {
    char buffer[4096];
    while (bytes.size() < limit) {
        if (deadline != nullptr) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd ready{fd, POLLIN, 0};
            const int polled = retryingInterrupts([&] { return ::poll(&ready, 1, static_cast<int>(left.count())); });
            if (polled == 0) return false;
            if (polled < 0) break;
        }
        const std::size_t wanted = std::min(sizeof buffer, limit - bytes.size());
        const ssize_t got = retryingInterrupts([&] { return ::read(fd, buffer, wanted); });
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (untilNewline && bytes.find('\n') != std::string::npos) break;
    }
    return true;
}

} // namespace

std::string readUpTo(int fd, std::size_t limit, bool untilNewline) {
    std::string bytes;
    readInto(bytes, fd, limit, untilNewline, nullptr);
    return bytes;
}

std::optional<std::string> readUpToWithin(int fd, std::size_t limit, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string bytes;
    if (!readInto(bytes, fd, limit, false, &deadline)) return std::nullopt;
    return bytes;
}

std::optional<std::string> resolvedPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::nullopt;
    std::string result = resolved;
    free(resolved);
    return result;
}

int waitForChild(pid_t pid) {
    int status = 0;
    return retryingInterrupts([&] { return ::waitpid(pid, &status, 0); }) == pid ? status : -1;
}

} // namespace platform::sys
