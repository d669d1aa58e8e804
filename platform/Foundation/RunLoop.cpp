#include "Foundation/RunLoop.h"

#include "Foundation/String.h"
#include "Foundation/Timer.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

namespace platform {

String* const NSDefaultRunLoopMode = String::constant("kCFRunLoopDefaultMode");
String* const NSRunLoopCommonModes = String::constant("kCFRunLoopCommonModes");
String* const NSModalPanelRunLoopMode = String::constant("NSModalPanelRunLoopMode");
String* const NSEventTrackingRunLoopMode = String::constant("NSEventTrackingRunLoopMode");

namespace {

class SteadyClock final : public RunLoopClock {
public:
    double now() const override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    void sleepUntil(double deadline) override {
        const double wait = deadline - now();
        if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    }
};

SteadyClock steadyClock;
std::atomic<RunLoopClock*> clockInUse{&steadyClock};

bool isCommonMode(std::string_view mode) {
    return mode == NSDefaultRunLoopMode->text() || mode == NSModalPanelRunLoopMode->text() ||
           mode == NSEventTrackingRunLoopMode->text();
}

bool firesInMode(const std::set<std::string>& modes, std::string_view mode) {
    if (modes.count(std::string(mode))) return true;
    return isCommonMode(mode) && modes.count(NSRunLoopCommonModes->text());
}

bool isMainThread() { return syscall(SYS_gettid) == getpid(); }

RunLoop* mainLoop = nullptr;

} // namespace

const Class RunLoop::classRecord{"NSRunLoop", &Object::classRecord};

RunLoop::RunLoop() = default;

RunLoop::~RunLoop() {
    for (const Ref<Timer>& timer : timers_) timer->runLoop_ = nullptr;
}

RunLoop* RunLoop::currentRunLoop() {
    thread_local Ref<RunLoop> loop = [] {
        Ref<RunLoop> created = make<RunLoop>();
        if (isMainThread()) mainLoop = created.get();
        return created;
    }();
    return loop.get();
}

RunLoop* RunLoop::mainRunLoop() { return mainLoop; }

double RunLoop::now() { return clockInUse.load()->now(); }

void RunLoop::addTimer_forMode(Timer* timer, String* mode) {
    if (timer == nullptr || mode == nullptr || !timer->isValid()) return;
    if (timer->runLoop_ != nullptr && timer->runLoop_ != this) return;  // a timer belongs to one run loop
    if (timer->runLoop_ == nullptr) {
        timer->runLoop_ = this;
        timers_.emplace_back(timer);
    }
    timer->modes_.insert(mode->text());
    timersChanged();
}

void RunLoop::removeTimer(Timer* timer) {
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [&](const Ref<Timer>& t) { return t.get() == timer; }),
                  timers_.end());
    timersChanged();
}

std::vector<Ref<Timer>> RunLoop::timersDueInMode(std::string_view mode, double now) const {
    std::vector<Ref<Timer>> due;
    for (const Ref<Timer>& timer : timers_) {
        if (timer->isValid() && !timer->firing_ && timer->fireDate() <= now && firesInMode(timer->modes_, mode)) {
            due.push_back(timer);
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const Ref<Timer>& a, const Ref<Timer>& b) {
        return a->fireDate() < b->fireDate();
    });
    return due;
}

void RunLoop::fireDueTimersInMode(String* mode) {
    if (mode == nullptr) return;
    String* outer = currentMode_;
    currentMode_ = mode;
    const double time = now();
    for (const Ref<Timer>& timer : timersDueInMode(mode->text(), time)) {
        // One fired meanwhile by a nested run is no longer due.
        if (timer->isValid() && timer->runLoop_ == this && timer->fireDate() <= time) timer->fire();
    }
    currentMode_ = outer;
}

double RunLoop::nextFireDateForMode(String* mode) const {
    double next = std::numeric_limits<double>::infinity();
    if (mode == nullptr) return next;
    for (const Ref<Timer>& timer : timers_) {
        if (timer->isValid() && !timer->firing_ && firesInMode(timer->modes_, mode->text())) {
            next = std::min(next, timer->fireDate());
        }
    }
    return next;
}

bool RunLoop::runMode_beforeDate(String* mode, double limitDate) {
    if (mode == nullptr) return false;
    if (timersDueInMode(mode->text(), now()).empty()) {
        const double next = nextFireDateForMode(mode);
        if (std::isinf(next)) return false;
        clockInUse.load()->sleepUntil(std::min(next, limitDate));
    }
    fireDueTimersInMode(mode);
    return true;
}

void RunLoop::runUntilDate(double limitDate) {
    while (now() < limitDate) {
        if (!runMode_beforeDate(NSDefaultRunLoopMode, limitDate)) {
            clockInUse.load()->sleepUntil(limitDate);
            break;
        }
    }
}

void RunLoop::setTimersChangedHandler(std::function<void()> handler) { timersChangedHandler_ = std::move(handler); }

void RunLoop::timersChanged() {
    if (timersChangedHandler_) timersChangedHandler_();
}

FakeRunLoopClock::FakeRunLoopClock() : previous_(clockInUse.exchange(this)) {}

FakeRunLoopClock::~FakeRunLoopClock() { clockInUse.store(previous_); }

void FakeRunLoopClock::sleepUntil(double deadline) { now_ = std::max(now_, deadline); }

} // namespace platform
