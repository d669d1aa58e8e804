#pragma once

#include "Foundation/Descriptor.h"

#include <QSocketNotifier>
#include <QTimer>

#include <memory>

namespace platform {

class RunLoop;
class String;

// Lets the Qt event loop of the main thread do the work of its RunLoop and
// its dispatch main queue, so that the platform's timers fire while Qt runs,
// in nested modal loops (QDialog::exec, QMessageBox) too.
//
// One QTimer stays armed for the run loop's next fire date in the current
// mode, re-armed whenever the run loop's timers change. The mode follows
// what Qt is doing: NSModalPanelRunLoopMode while a modal widget is active,
// NSEventTrackingRunLoopMode while a popup is open, else
// NSDefaultRunLoopMode; timers added for the common modes fire in all three,
// default-mode timers only outside modal loops and popups.
//
// Work that arrives on the main queue wakes the loop through a descriptor
// it watches, and the queue is drained then; nothing looks at the queue
// meanwhile, so an idle loop sleeps. Each timer firing and each drain runs
// in its own autorelease pool; exceptions that escape them are logged.
//
// A sleep on the main thread (Thread::sleepForTimeInterval) is taken over
// while the bridge lives: the windows go on drawing (sleepBlocked), while
// the run loop's timers and the main queue are held until the sleep ends,
// so that the code which sleeps finds nothing changed under it.
//
// Make one on the main thread after the QApplication and end it before.
class EventLoopBridge {
public:
    // While a default-mode timer waits for a modal loop to end, the mode is
    // looked at again this often.
    static constexpr int kModeCheckInterval = 100;

    EventLoopBridge();
    ~EventLoopBridge();
    EventLoopBridge(const EventLoopBridge&) = delete;
    EventLoopBridge& operator=(const EventLoopBridge&) = delete;

    // The run loop mode that fits what the event loop is doing now.
    static String* currentMode();

private:
    void arm();
    void fireTimers();
    void drainMainQueue();
    // Wakes the loop to drain the main queue; from any thread.
    void drainSoon() const;

    RunLoop* loop_;
    int held_ = 0;  // main-thread sleeps in progress
    QTimer timers_;
    Descriptor wake_;  // an eventfd: written to wake the loop
    std::unique_ptr<QSocketNotifier> woken_;
};

} // namespace platform
