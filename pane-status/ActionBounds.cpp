#include "ActionBounds.h"

#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace panestatus {
namespace {

// How long what was asked to end may take before it is killed.
constexpr std::chrono::seconds kGrace{2};

// The controlling terminal, opened; none without one.
platform::Descriptor controllingTerminal() {
    platform::ErrorOr<platform::Descriptor> terminal = platform::sys::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    return terminal.isError() ? platform::Descriptor() : terminal.releaseValue();
}

} // namespace

ActionDeadline::ActionDeadline(double seconds) : terminal_(controllingTerminal()), started_(terminal_.get()) {
    termios settings{};
    if (terminal_ && tcgetattr(terminal_.get(), &settings) == 0) terminalSettings_ = settings;
    // A year stands for any longer time, infinity included.
    constexpr double kLongest = 365.0 * 24 * 3600;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(std::clamp(seconds, 0.0, kLongest)));
    watcher_ = std::thread([this, deadline] {
        std::unique_lock lock(mutex_);
        if (ended_.wait_until(lock, deadline, [this] { return over_; })) return;
        expired_ = true;
        lock.unlock();
        endWhatRuns();
    });
}

ActionDeadline::~ActionDeadline() {
    {
        const std::lock_guard lock(mutex_);
        over_ = true;
    }
    ended_.notify_all();
    watcher_.join();
}

bool ActionDeadline::expired() const {
    const std::lock_guard lock(mutex_);
    return expired_;
}

void ActionDeadline::endWhatRuns() {
    started_.signal(SIGTERM);
    const auto killAt = std::chrono::steady_clock::now() + kGrace;
    while (std::chrono::steady_clock::now() < killAt && started_.signal(0)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    started_.signal(SIGKILL);
    if (terminalSettings_) tcsetattr(terminal_.get(), TCSANOW, &*terminalSettings_);
}

HelperLinesQuieted::HelperLinesQuieted(bool verbose) {
    if (verbose) return;
    const platform::ErrorOr<platform::Descriptor> null = platform::sys::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null.isError()) return;
    std::fflush(stderr);
    platform::ErrorOr<platform::Descriptor> saved = platform::sys::duplicate(STDERR_FILENO, 3);
    if (saved.isError()) return;
    saved_ = saved.releaseValue();
    (void)platform::sys::dup2(null.value().get(), STDERR_FILENO);
}

HelperLinesQuieted::~HelperLinesQuieted() {
    if (!saved_) return;
    std::fflush(stderr);
    (void)platform::sys::dup2(saved_.get(), STDERR_FILENO);
}

} // namespace panestatus
