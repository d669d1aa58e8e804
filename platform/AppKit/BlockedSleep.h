#pragma once

namespace platform {

// A main-thread sleep as the window system sees it: the application is
// blocked, its windows are not. For `seconds` the Qt event loop runs with
// user input and socket notifiers held back, so expose, paint, resize and
// layout events still pass and each window keeps its image and follows a
// resize; input made meanwhile is delivered after the sleep, none lost. A
// request to close a window is held too, and made again once control is
// back in an ordinary event loop: the code that sleeps still uses the
// window's objects. Qt timers and posted events go on; code that must stand
// still while it sleeps holds back its own (EventLoopBridge does).
//
// Sleeps in a row, with no return to an event loop between them, are one
// wait: once it has lasted kBusyPointerAfter seconds the pointer shows that
// the application is busy, until the wait is over.
void sleepBlocked(double seconds);

constexpr double kBusyPointerAfter = 1.0;

} // namespace platform
