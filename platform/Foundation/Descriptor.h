#pragma once

#include <unistd.h>

#include <utility>

namespace platform {

// A file descriptor with one owner, closed when it goes; -1 holds none.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(long value) : fd_(static_cast<int>(value)) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Gives the descriptor up, open, to the caller.
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

} // namespace platform
