#pragma once

#include "objc/Object.h"

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace platform {

class String;
class Timer;

// Run loop modes. Timers added for the common modes fire in each of the
// default, modal-panel and event-tracking modes.
extern String* const NSDefaultRunLoopMode;
extern String* const NSRunLoopCommonModes;
extern String* const NSModalPanelRunLoopMode;
extern String* const NSEventTrackingRunLoopMode;

// Where a run loop's time comes from, in seconds.
class RunLoopClock {
public:
    virtual ~RunLoopClock() = default;
    virtual double now() const = 0;
    virtual void sleepUntil(double deadline) = 0;
};

// One per thread: fires the timers scheduled in it while it runs in a mode.
class RunLoop final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSRunLoop"

    static RunLoop* currentRunLoop();
    static RunLoop* mainRunLoop();
    // The time of the clock in use (seconds).
    static double now();

    void addTimer_forMode(Timer* timer, String* mode);

    // Fires the timers due in `mode`; if none was due, waits for the next
    // one, but not past `limitDate`. Nested calls (a modal loop inside a
    // timer's action) work; a firing timer is not fired again inside itself.
    // Returns false when no timer of the mode is left to wait for.
    bool runMode_beforeDate(String* mode, double limitDate);
    // Runs in the default mode until `limitDate`.
    void runUntilDate(double limitDate);

    // For an event loop that drives this run loop (the windowing one): the
    // timers due in a mode now, and when the next one is due (infinity for none).
    void fireDueTimersInMode(String* mode);
    double nextFireDateForMode(String* mode) const;
    // Told whenever the set of timers or a fire date changes.
    void setTimersChangedHandler(std::function<void()> handler);
    // The mode of the innermost run, or null when not running.
    String* currentMode() const { return currentMode_; }

    RunLoop();
    ~RunLoop() override;

private:
    friend class Timer;
    void removeTimer(Timer* timer);
    std::vector<Ref<Timer>> timersDueInMode(std::string_view mode, double now) const;
    void timersChanged();

    std::vector<Ref<Timer>> timers_;
    std::function<void()> timersChangedHandler_;
    String* currentMode_ = nullptr;
};

// For tests: while it lives, run loops take their time from this clock, and
// waiting for a timer moves the clock forward instead of sleeping.
class FakeRunLoopClock final : public RunLoopClock {
public:
    FakeRunLoopClock();
    ~FakeRunLoopClock() override;
    double now() const override { return now_; }
    void sleepUntil(double deadline) override;
    void advance(double seconds) { now_ += seconds; }

private:
    double now_ = 1000.0;
    RunLoopClock* previous_;
};

} // namespace platform
