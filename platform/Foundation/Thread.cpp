#include "Foundation/Thread.h"

#include "Foundation/SystemCall.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

std::function<void(double)>& mainThreadSleepHandler() {
    static std::function<void(double)> handler;
    return handler;
}

} // namespace

bool Thread::isMainThread() { return gettid() == getpid(); }

void Thread::sleepForTimeInterval(double seconds) {
    if (!(seconds > 0)) return;
    if (isMainThread() && mainThreadSleepHandler()) {
        // A copy: the handler may be replaced while it runs.
        const std::function<void(double)> handler = mainThreadSleepHandler();
        handler(seconds);
        return;
    }
    constexpr double kLongest = 1e9;  // about thirty years
    const double whole = std::floor(std::min(seconds, kLongest));
    timespec remaining{static_cast<time_t>(whole), static_cast<long>((std::min(seconds, kLongest) - whole) * 1e9)};
    // A signal leaves the time still to sleep in `remaining`.
    sys::retryingInterrupts([&] {
        const timespec request = remaining;
        return ::nanosleep(&request, &remaining);
    });
}

void Thread::setMainThreadSleepHandler(std::function<void(double seconds)> handler) {
    mainThreadSleepHandler() = std::move(handler);
}

} // namespace platform
