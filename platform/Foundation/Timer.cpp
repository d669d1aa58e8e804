#include "Foundation/Timer.h"

#include "Foundation/RunLoop.h"

namespace platform {

const Class Timer::classRecord{"NSTimer", &Object::classRecord};

Timer::Timer(double interval, Object* target, std::string selector, Ref<Object> userInfo, bool repeats, double fireDate)
    : interval_(interval > 0 ? interval : 0.0001), target_(target), selector_(std::move(selector)),
      userInfo_(std::move(userInfo)), repeats_(repeats), fireDate_(fireDate) {}

Ref<Timer> Timer::timerWithTimeInterval_target_selector_userInfo_repeats(double interval, Object* target,
                                                                        std::string_view selector, Object* userInfo,
                                                                        bool repeats) {
    return make<Timer>(interval, target, std::string(selector), Ref<Object>(userInfo), repeats,
                       RunLoop::now() + (interval > 0 ? interval : 0.0001));
}

Ref<Timer> Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(double interval, Object* target,
                                                                                 std::string_view selector,
                                                                                 Object* userInfo, bool repeats) {
    Ref<Timer> timer = timerWithTimeInterval_target_selector_userInfo_repeats(interval, target, selector, userInfo, repeats);
    RunLoop::currentRunLoop()->addTimer_forMode(timer.get(), NSDefaultRunLoopMode);
    return timer;
}

void Timer::fire() {
    if (!valid_ || firing_) return;
    Ref<Timer> keep(this);  // the action may invalidate and release it
    firing_ = true;
    // Also when the action raises: the timer goes on (or ends) as usual.
    struct AfterFiring {
        Timer& timer;
        ~AfterFiring() { timer.firing_ = false; timer.scheduleNext(); }
    } after{*this};
    if (target_) target_->performSelector(selector_, this);
}

void Timer::scheduleNext() {
    if (!repeats_) {
        invalidate();
        return;
    }
    if (!valid_) return;
    const double now = RunLoop::now();
    do {
        fireDate_ += interval_;
    } while (fireDate_ <= now);  // missed firings are not made up
    if (runLoop_) runLoop_->timersChanged();
}

void Timer::invalidate() {
    if (!valid_) return;
    valid_ = false;
    target_ = nullptr;
    userInfo_ = nullptr;
    if (RunLoop* loop = runLoop_) {
        runLoop_ = nullptr;
        loop->removeTimer(this);
    }
}

} // namespace platform
