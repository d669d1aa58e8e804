#include "AppKit/BlockedSleep.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

namespace platform {
namespace {

// One wait: the sleeps in a row up to the next return to an event loop.
struct Wait {
    int sleeping = 0;     // sleeps in progress
    double slept = 0;     // seconds, over the wait's sleeps so far
    bool busy = false;    // the busy pointer is ours to restore
    std::vector<QPointer<QObject>> closes;  // windows asked to close meanwhile
};

Wait& currentWait() {
    static Wait wait;
    return wait;
}

// Holds close requests back until the wait is over: the code that sleeps
// still uses the window's objects.
class CloseHolder final : public QObject {
public:
    bool eventFilter(QObject* target, QEvent* event) override {
        if (event->type() != QEvent::Close) return false;
        std::vector<QPointer<QObject>>& closes = currentWait().closes;
        if (std::find(closes.begin(), closes.end(), target) == closes.end()) closes.emplace_back(target);
        event->ignore();
        return true;
    }
};

void showBusy() {
    Wait& wait = currentWait();
    if (wait.busy) return;
    wait.busy = true;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
}

// Queued at the end of each sleep. Run inside a sleep that followed at once,
// it finds the wait still going on and does nothing.
void endWaitUnlessAsleep() {
    Wait& wait = currentWait();
    if (wait.sleeping > 0) return;
    wait.slept = 0;
    if (wait.busy) {
        wait.busy = false;
        QGuiApplication::restoreOverrideCursor();
    }
    const std::vector<QPointer<QObject>> closes = std::exchange(wait.closes, {});
    for (const QPointer<QObject>& target : closes) {
        if (auto* window = qobject_cast<QWindow*>(target.data())) {
            window->close();
        } else if (auto* widget = qobject_cast<QWidget*>(target.data())) {
            widget->close();
        }
    }
}

int timerInterval(qint64 milliseconds) { return static_cast<int>(std::clamp<qint64>(milliseconds, 0, INT_MAX)); }

} // namespace

void sleepBlocked(double seconds) {
    if (!(seconds > 0)) return;
    Wait& wait = currentWait();
    const QDeadlineTimer deadline(static_cast<qint64>(std::ceil(std::min(seconds, 1e9) * 1000.0)), Qt::PreciseTimer);

    CloseHolder closeHolder;
    QCoreApplication::instance()->installEventFilter(&closeHolder);
    QTimer busy;
    busy.setSingleShot(true);
    QObject::connect(&busy, &QTimer::timeout, [] { showBusy(); });
    if (!wait.busy && wait.slept + seconds > kBusyPointerAfter) {
        busy.start(timerInterval(static_cast<qint64>(std::ceil((kBusyPointerAfter - wait.slept) * 1000.0))));
    }

    QEventLoop loop;
    QTimer end;
    end.setSingleShot(true);
    end.setTimerType(Qt::PreciseTimer);
    QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
    ++wait.sleeping;
    end.start(timerInterval(deadline.remainingTime()));
    loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
    // Cut short when every event loop is told to exit: the rest is slept
    // outright, as the application is on its way out.
    if (!deadline.hasExpired()) QThread::msleep(static_cast<unsigned long>(deadline.remainingTime()));
    --wait.sleeping;

    QCoreApplication::instance()->removeEventFilter(&closeHolder);
    wait.slept += seconds;
    if (wait.slept >= kBusyPointerAfter) showBusy();
    QTimer::singleShot(0, QCoreApplication::instance(), [] { endWaitUnlessAsleep(); });
}

} // namespace platform
