// The main run loop's timers and the main queue, driven by the Qt event loop.

#include "AppKit/EventLoopBridge.h"
#include "Foundation/Exception.h"
#include "Foundation/RunLoop.h"
#include "Foundation/Thread.h"
#include "Foundation/Timer.h"
#include "dispatch/dispatch.h"
#include "support/GuiTest.h"
#include "support/StderrCapture.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

using namespace platform;

namespace {

// Records each firing: the run loop mode and whether a modal loop ran.
class Ticker : public Object {
public:
    PLATFORM_CLASS_RECORD

    void tick(Object*) {
        String* mode = RunLoop::currentRunLoop()->currentMode();
        modes.push_back(mode ? mode->text() : "(none)");
        modal.push_back(QApplication::activeModalWidget() != nullptr);
        if (onTick) onTick();
    }
    int ticksWhere(bool inModal) const { return static_cast<int>(std::count(modal.begin(), modal.end(), inModal)); }

    std::vector<std::string> modes;
    std::vector<bool> modal;
    std::function<void()> onTick;
};

const Class Ticker::classRecord{"RunLoopDrivingTicker", &Object::classRecord, Class::factoryOf<Ticker>(),
                                {{"tick:", method(&Ticker::tick)}}};

Ref<Timer> commonModesTimer(double interval, Ticker* ticker, bool repeats) {
    Ref<Timer> timer =
        Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(interval, ticker, "tick:", nullptr, repeats);
    RunLoop::currentRunLoop()->addTimer_forMode(timer.get(), NSRunLoopCommonModes);
    return timer;
}

Ref<Timer> defaultModeTimer(double interval, Ticker* ticker) {
    return Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(interval, ticker, "tick:", nullptr, true);
}

// Counts the resize and paint events it is sent.
class Canvas : public QWidget {
public:
    int resizes = 0;
    int paints = 0;

protected:
    void resizeEvent(QResizeEvent*) override { ++resizes; }
    void paintEvent(QPaintEvent*) override { ++paints; }
};

} // namespace

TEST(RunLoopDriving, CommonModeTimersFireInsideAModalDialogAndDefaultModeTimersWaitForItsEnd) {
    Ref<Ticker> common = make<Ticker>();
    Ref<Ticker> defaultOnly = make<Ticker>();
    Ref<Ticker> closer = make<Ticker>();
    QDialog dialog;
    closer->onTick = [&] { dialog.accept(); };
    Ref<Timer> commonTimer = commonModesTimer(0.02, common.get(), true);
    Ref<Timer> defaultTimer = defaultModeTimer(0.02, defaultOnly.get());
    Ref<Timer> closeTimer = commonModesTimer(0.3, closer.get(), false);

    EXPECT_EQ(dialog.exec(), QDialog::Accepted);  // closed by the one-shot timer
    EXPECT_EQ(closer->modes, std::vector<std::string>{"NSModalPanelRunLoopMode"});
    EXPECT_GE(common->ticksWhere(true), 5);
    for (std::size_t i = 0; i < common->modes.size(); ++i) EXPECT_EQ(common->modes[i], "NSModalPanelRunLoopMode");
    EXPECT_TRUE(defaultOnly->modes.empty());

    EXPECT_TRUE(testsupport::runEventsUntil([&] { return defaultOnly->modes.size() >= 2; }));
    EXPECT_EQ(defaultOnly->modes.front(), "kCFRunLoopDefaultMode");
    EXPECT_EQ(defaultOnly->ticksWhere(true), 0);
    commonTimer->invalidate();
    defaultTimer->invalidate();
}

TEST(RunLoopDriving, ATimerWhoseActionRaisesIsLoggedAndGoesOnFiring) {
    Ref<Ticker> ticker = make<Ticker>();
    ticker->onTick = [] { Exception::raise(NSInternalInconsistencyException, make<String>("tick failed")); };
    testsupport::StderrCapture capture;
    Ref<Timer> timer = commonModesTimer(0.02, ticker.get(), true);
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return ticker->modes.size() >= 3; }));
    timer->invalidate();
    EXPECT_NE(capture.finish().find("*** a timer raised NSInternalInconsistencyException: tick failed"), std::string::npos);
}

TEST(RunLoopDriving, ATimerFiredByANestedRunIsNotFiredAgainWhenTheOuterRunGoesOn) {
    FakeRunLoopClock clock;
    RunLoop* loop = RunLoop::currentRunLoop();
    Ref<Ticker> outer = make<Ticker>();
    Ref<Ticker> inner = make<Ticker>();
    Ref<Timer> first = commonModesTimer(1.0, outer.get(), true);
    Ref<Timer> second = commonModesTimer(1.0, inner.get(), true);
    outer->onTick = [&] { loop->runMode_beforeDate(NSModalPanelRunLoopMode, RunLoop::now()); };
    clock.advance(1.0);
    loop->fireDueTimersInMode(NSDefaultRunLoopMode);
    EXPECT_EQ(outer->modes, std::vector<std::string>{"kCFRunLoopDefaultMode"});
    EXPECT_EQ(inner->modes, std::vector<std::string>{"NSModalPanelRunLoopMode"});
    first->invalidate();
    second->invalidate();
}

TEST(RunLoopDriving, WorkForTheMainQueueRunsInTheEventLoopAndInModalLoops) {
    std::atomic<bool> ranOnMainThread{false};
    std::thread([&] {
        dispatch_async(dispatch_get_main_queue(), [&] { ranOnMainThread = gettid() == getpid(); });
    }).join();
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return ranOnMainThread.load(); }));

    QDialog dialog;
    std::thread poster([&] { dispatch_async(dispatch_get_main_queue(), [&] { dialog.done(7); }); });
    EXPECT_EQ(dialog.exec(), 7);
    poster.join();
}

// Two one-second sleeps in a row, as a controller waiting for a helper takes
// them: the window is resized, the main queue given work and the window asked
// to close during the first; the pointer is looked at in the second.
TEST(RunLoopDriving, AMainThreadSleepKeepsTheWindowDrawnWhileTimersQueueAndCloseWaitForItsEnd) {
    Canvas canvas;
    canvas.resize(200, 100);
    canvas.show();
    ASSERT_TRUE(testsupport::runEventsUntil([&] { return canvas.paints > 0; }));
    Ref<Ticker> ticker = make<Ticker>();
    Ref<Timer> timer = commonModesTimer(0.1, ticker.get(), true);
    ASSERT_TRUE(testsupport::runEventsUntil([&] { return !ticker->modes.empty(); }));

    const std::size_t ticksBefore = ticker->modes.size();
    const int resizesBefore = canvas.resizes;
    const int paintsBefore = canvas.paints;
    bool queueRan = false;
    std::optional<Qt::CursorShape> pointerInSecondSecond;
    QTimer::singleShot(300, [&] {
        canvas.resize(300, 150);
        dispatch_async(dispatch_get_main_queue(), [&] { queueRan = true; });
        QCoreApplication::postEvent(canvas.windowHandle(), new QCloseEvent);
    });
    QTimer::singleShot(1500, [&] {
        if (const QCursor* cursor = QGuiApplication::overrideCursor()) pointerInSecondSecond = cursor->shape();
    });
    Thread::sleepForTimeInterval(1.0);
    Thread::sleepForTimeInterval(1.0);

    EXPECT_GT(canvas.resizes, resizesBefore);
    EXPECT_GT(canvas.paints, paintsBefore);
    EXPECT_EQ(ticker->modes.size(), ticksBefore);
    EXPECT_FALSE(queueRan);
    EXPECT_TRUE(canvas.isVisible());
    EXPECT_EQ(pointerInSecondSecond, Qt::BusyCursor);

    EXPECT_TRUE(testsupport::runEventsUntil([&] {
        return ticker->modes.size() > ticksBefore && queueRan && !canvas.isVisible() &&
               QGuiApplication::overrideCursor() == nullptr;
    }));
    timer->invalidate();
}
