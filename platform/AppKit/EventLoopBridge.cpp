#include "AppKit/EventLoopBridge.h"

#include "AppKit/ActionBoundary.h"
#include "AppKit/BlockedSleep.h"
#include "Foundation/Exception.h"
#include "Foundation/RunLoop.h"
#include "Foundation/String.h"
#include "Foundation/SystemCall.h"
#include "Foundation/Thread.h"
#include "dispatch/dispatch.h"

#include <QApplication>

#include <sys/eventfd.h>

#include <algorithm>
#include <cstdint>
#include <cmath>

namespace platform {

EventLoopBridge::EventLoopBridge() : loop_(RunLoop::currentRunLoop()) {
    if (!Thread::isMainThread() || qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        Exception::raise(NSInternalInconsistencyException,
                         make<String>("the event loop bridge belongs on the main thread, after the QApplication"));
    }
    timers_.setSingleShot(true);
    timers_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timers_, &QTimer::timeout, [this] { fireTimers(); });
    loop_->setTimersChangedHandler([this] { arm(); });
    arm();
    // The wake-up goes through the kernel, not Qt's own queue, so that a
    // thread sanitizer sees the queue's work handed over.
    ErrorOr<Descriptor> wake = sys::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake.isError()) {
        Exception::raise(NSInternalInconsistencyException,
                         make<String>("the event loop bridge cannot make its wake-up descriptor: " +
                                      wake.error().describe()));
    }
    wake_ = wake.releaseValue();
    woken_ = std::make_unique<QSocketNotifier>(wake_.get(), QSocketNotifier::Read);
    QObject::connect(woken_.get(), &QSocketNotifier::activated, [this] {
        sys::readUpTo(wake_.get(), sizeof(std::uint64_t));  // the count of wake-ups, which is not needed
        drainMainQueue();
    });
    dispatch_main_queue_set_wake_handler([this] { drainSoon(); });
    drainSoon();  // what was queued before the bridge
    // The code that sleeps stands still, its windows do not; timers that
    // came due meanwhile fire, and work queued meanwhile runs, once it is
    // awake.
    Thread::setMainThreadSleepHandler([this](double seconds) {
        ++held_;
        sleepBlocked(seconds);
        if (--held_ > 0) return;
        arm();
        drainSoon();
    });
}

EventLoopBridge::~EventLoopBridge() {
    Thread::setMainThreadSleepHandler(nullptr);
    dispatch_main_queue_set_wake_handler(nullptr);
    loop_->setTimersChangedHandler(nullptr);
}

String* EventLoopBridge::currentMode() {
    if (QApplication::activeModalWidget() != nullptr) return NSModalPanelRunLoopMode;
    if (QApplication::activePopupWidget() != nullptr) return NSEventTrackingRunLoopMode;
    return NSDefaultRunLoopMode;
}

void EventLoopBridge::arm() {
    String* mode = currentMode();
    const double now = RunLoop::now();
    double wait = loop_->nextFireDateForMode(mode) - now;
    // Default-mode timers held back by a modal loop fire once it has ended.
    if (mode != NSDefaultRunLoopMode && std::isfinite(loop_->nextFireDateForMode(NSDefaultRunLoopMode))) {
        wait = std::min(wait, kModeCheckInterval / 1000.0);
    }
    if (!std::isfinite(wait)) {
        timers_.stop();
        return;
    }
    const double milliseconds = std::ceil(std::clamp(wait, 0.0, 86400.0) * 1000.0);
    timers_.start(static_cast<int>(milliseconds));
}

void EventLoopBridge::fireTimers() {
    // Left unarmed while held: the end of the sleep arms it again.
    if (held_ > 0) return;
    String* mode = currentMode();
    // Armed while the timers run: a modal loop that one of them opens keeps
    // the others firing.
    arm();
    runLogged("a timer", [&] { loop_->fireDueTimersInMode(mode); });
    arm();
}

void EventLoopBridge::drainSoon() const {
    const std::uint64_t one = 1;
    (void)sys::writeAll(wake_.get(), std::string_view(reinterpret_cast<const char*>(&one), sizeof one));
}

void EventLoopBridge::drainMainQueue() {
    if (held_ > 0) return;
    runLogged("work on the main queue", [] { dispatch_main_queue_drain(); });
}

} // namespace platform
