#include "ActionBounds.h"

#include "Foundation/ProcessStatus.h"
#include "Foundation/SystemCall.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace panestatus {
namespace {

// How long what was asked to end may take before it is killed.
constexpr std::chrono::seconds kGrace{2};

// Every process whose parent is `pid`, and theirs, read from /proc.
std::vector<pid_t> descendantsOf(pid_t pid) {
    std::multimap<pid_t, pid_t> children;
    if (DIR* proc = opendir("/proc")) {
        while (const dirent* entry = readdir(proc)) {
            const pid_t child = static_cast<pid_t>(std::atoi(entry->d_name));
            if (child <= 0) continue;
            const auto fields = platform::processStatusFields(child);
            if (fields && fields->size() > 1) children.emplace(static_cast<pid_t>(std::atoi((*fields)[1].c_str())), child);
        }
        closedir(proc);
    }
    std::vector<pid_t> found;
    std::vector<pid_t> parents{pid};
    while (!parents.empty()) {
        const pid_t parent = parents.back();
        parents.pop_back();
        for (auto [first, last] = children.equal_range(parent); first != last; ++first) {
            found.push_back(first->second);
            parents.push_back(first->second);
        }
    }
    return found;
}

} // namespace

ActionDeadline::ActionDeadline(double seconds) {
    terminal_ = platform::Descriptor(
        platform::sys::retryingInterrupts([] { return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC); }));
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
    for (const pid_t pid : descendantsOf(getpid())) kill(pid, SIGTERM);
    const auto killAt = std::chrono::steady_clock::now() + kGrace;
    while (std::chrono::steady_clock::now() < killAt && !descendantsOf(getpid()).empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (const pid_t pid : descendantsOf(getpid())) kill(pid, SIGKILL);
    if (terminalSettings_) tcsetattr(terminal_.get(), TCSANOW, &*terminalSettings_);
}

HelperLinesQuieted::HelperLinesQuieted(bool verbose) {
    if (verbose) return;
    const platform::Descriptor null(
        platform::sys::retryingInterrupts([] { return open("/dev/null", O_WRONLY | O_CLOEXEC); }));
    if (!null) return;
    std::fflush(stderr);
    saved_ = platform::Descriptor(fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3));
    if (saved_) dup2(null.get(), STDERR_FILENO);
}

HelperLinesQuieted::~HelperLinesQuieted() {
    if (!saved_) return;
    std::fflush(stderr);
    dup2(saved_.get(), STDERR_FILENO);
}

} // namespace panestatus
