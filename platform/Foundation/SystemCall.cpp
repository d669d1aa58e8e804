#include "Foundation/SystemCall.h"

#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace platform::sys {

std::string failure(const char* call, int error) { return std::string(call) + ": " + std::strerror(error); }

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = retryingInterrupts([&] { return ::write(fd, bytes.data(), bytes.size()); });
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
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
