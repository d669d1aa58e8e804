#include "Foundation/RunLoop.h"
#include "Foundation/String.h"
#include "Foundation/Timer.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace platform;

namespace {

class Ticker : public Object {
public:
    PLATFORM_CLASS_RECORD

    void tick(Object* timer) {
        times.push_back(RunLoop::now());
        lastTimer = objectAs<Timer>(timer);
        if (onTick) onTick();
    }
    std::vector<double> times;
    Timer* lastTimer = nullptr;
    std::function<void()> onTick;
};

const Class Ticker::classRecord{"RunLoopTestsTicker", &Object::classRecord, Class::factoryOf<Ticker>(),
                                {{"tick:", method(&Ticker::tick)}}};

class RunLoopTest : public ::testing::Test {
protected:
    FakeRunLoopClock clock;
    RunLoop* loop = RunLoop::currentRunLoop();
    double start = RunLoop::now();
    std::vector<double> sinceStart(const Ticker& ticker) const {
        std::vector<double> offsets;
        for (double time : ticker.times) offsets.push_back(time - start);
        return offsets;
    }
};

} // namespace

TEST_F(RunLoopTest, ARepeatingTimerFiresOnceAnIntervalAfterItsCreation) {
    Ref<Ticker> ticker = make<Ticker>();
    Ref<Timer> timer = Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(1.0, ticker.get(), "tick:",
                                                                                             nullptr, true);
    loop->runUntilDate(start + 3.5);
    EXPECT_EQ(sinceStart(*ticker), (std::vector<double>{1.0, 2.0, 3.0}));
    EXPECT_EQ(ticker->lastTimer, timer.get());
    EXPECT_EQ(ticker->retainCount(), 1);  // the timer does not own its target
    timer->invalidate();
    loop->runUntilDate(start + 6);
    EXPECT_EQ(ticker->times.size(), 3u);
    EXPECT_FALSE(timer->isValid());
}

TEST_F(RunLoopTest, MissedFiringsAreNotMadeUp) {
    Ref<Ticker> ticker = make<Ticker>();
    Ref<Timer> timer = Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(1.0, ticker.get(), "tick:",
                                                                                             nullptr, true);
    clock.advance(5.5);
    loop->runMode_beforeDate(NSDefaultRunLoopMode, start + 5.5);
    EXPECT_EQ(ticker->times.size(), 1u);
    EXPECT_DOUBLE_EQ(timer->fireDate() - start, 6.0);
    timer->invalidate();
}

TEST_F(RunLoopTest, AOneShotTimerInvalidatesItselfAndATimerMayInvalidateItselfWhileFiring) {
    Ref<Ticker> once = make<Ticker>();
    Ref<Timer> oneShot = Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(0.5, once.get(), "tick:",
                                                                                               nullptr, false);
    Ref<Ticker> selfEnding = make<Ticker>();
    Ref<Timer> repeating = Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(
        1.0, selfEnding.get(), "tick:", nullptr, true);
    selfEnding->onTick = [&] { if (selfEnding->times.size() == 2) repeating->invalidate(); };
    loop->runUntilDate(start + 5);
    EXPECT_EQ(sinceStart(*once), std::vector<double>{0.5});
    EXPECT_FALSE(oneShot->isValid());
    EXPECT_EQ(sinceStart(*selfEnding), (std::vector<double>{1.0, 2.0}));
    EXPECT_FALSE(loop->runMode_beforeDate(NSDefaultRunLoopMode, start + 10));  // nothing left to wait for
}

TEST_F(RunLoopTest, CommonModeTimersAlsoFireInNestedModalRuns) {
    Ref<Ticker> common = make<Ticker>();
    Ref<Ticker> defaultOnly = make<Ticker>();
    Ref<Ticker> opener = make<Ticker>();
    Ref<Timer> commonTimer = Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(
        1.0, common.get(), "tick:", nullptr, true);
    loop->addTimer_forMode(commonTimer.get(), NSRunLoopCommonModes);
    Ref<Timer> defaultTimer = Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(
        1.0, defaultOnly.get(), "tick:", nullptr, true);
    // At 0.5 s a modal loop runs for three seconds inside a timer's action.
    Ref<Timer> modal = Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(0.5, opener.get(), "tick:",
                                                                                            nullptr, false);
    opener->onTick = [&] {
        EXPECT_EQ(loop->currentMode(), NSDefaultRunLoopMode);
        const double until = RunLoop::now() + 3;
        while (RunLoop::now() < until) loop->runMode_beforeDate(NSModalPanelRunLoopMode, until);
        EXPECT_EQ(loop->currentMode(), NSDefaultRunLoopMode);
    };
    loop->runMode_beforeDate(NSDefaultRunLoopMode, start + 0.5);
    EXPECT_EQ(sinceStart(*common), (std::vector<double>{1.0, 2.0, 3.0}));
    EXPECT_TRUE(defaultOnly->times.empty());
    loop->runUntilDate(start + 4.2);
    // Once late for the three it missed, then on its own schedule again.
    EXPECT_EQ(sinceStart(*defaultOnly), (std::vector<double>{3.5, 4.0}));
    commonTimer->invalidate();
    defaultTimer->invalidate();
}

TEST_F(RunLoopTest, AnEventLoopIsToldWhenTimersChange) {
    int changes = 0;
    loop->setTimersChangedHandler([&] { ++changes; });
    Ref<Ticker> ticker = make<Ticker>();
    Ref<Timer> timer = Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(2.0, ticker.get(), "tick:",
                                                                                             nullptr, true);
    EXPECT_EQ(changes, 1);
    EXPECT_DOUBLE_EQ(loop->nextFireDateForMode(NSDefaultRunLoopMode) - start, 2.0);
    EXPECT_TRUE(std::isinf(loop->nextFireDateForMode(NSModalPanelRunLoopMode)));
    clock.advance(2);
    loop->fireDueTimersInMode(NSDefaultRunLoopMode);
    EXPECT_EQ(ticker->times.size(), 1u);
    EXPECT_EQ(changes, 2);  // rescheduled
    timer->invalidate();
    EXPECT_EQ(changes, 3);
    loop->setTimersChangedHandler(nullptr);
}
