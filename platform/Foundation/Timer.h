#pragma once

#include "objc/Object.h"

#include <set>
#include <string>

namespace platform {

class RunLoop;

// Sends a selector to a target once an interval has passed, once or
// repeatedly, while it is scheduled in a run loop. The target is not
// retained: a target ends its timers before it goes away.
class Timer final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSTimer"

    // A timer that is not scheduled yet; its first firing comes `interval`
    // seconds after it is created.
    static Ref<Timer> timerWithTimeInterval_target_selector_userInfo_repeats(double interval, Object* target,
                                                                            std::string_view selector,
                                                                            Object* userInfo, bool repeats);
    // The same, scheduled in the current thread's run loop in the default mode.
    static Ref<Timer> scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(double interval, Object* target,
                                                                                     std::string_view selector,
                                                                                     Object* userInfo, bool repeats);

    // Sends the selector to the target with the timer as argument. A timer
    // that does not repeat is invalidated by it.
    void fire();
    // The timer never fires again and leaves its run loop.
    void invalidate();
    bool isValid() const { return valid_; }

    double timeInterval() const { return interval_; }
    double fireDate() const { return fireDate_; }
    Object* userInfo() const { return userInfo_.get(); }

    Timer(double interval, Object* target, std::string selector, Ref<Object> userInfo, bool repeats, double fireDate);

private:
    friend class RunLoop;
    void scheduleNext();

    double interval_;
    Object* target_;
    std::string selector_;
    Ref<Object> userInfo_;
    bool repeats_;
    double fireDate_;
    bool valid_ = true;
    bool firing_ = false;
    RunLoop* runLoop_ = nullptr;
    std::set<std::string> modes_;
};

} // namespace platform
