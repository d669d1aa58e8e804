#pragma once

// Thin wrappers over system calls: each runs its call again while a signal
// interrupts it, and a failure can be told with the call's name.

#include <sys/types.h>

#include <cerrno>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace platform::sys {

// Runs `call` (returning -1 and setting errno on failure) until it is not
// interrupted by a signal; returns its last result.
template <class Call>
auto retryingInterrupts(Call&& call) {
    auto result = call();
    while (result == -1 && errno == EINTR) result = call();
    return result;
}

// "call: reason" for the errno that a failed call left.
std::string failure(const char* call, int error = errno);

// Writes all of `bytes`; false (errno set) when the descriptor takes no more.
bool writeAll(int fd, std::string_view bytes);

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
