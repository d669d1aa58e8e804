#pragma once

#include "AppKit/Alert.h"
#include "Foundation/String.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// Runs the Qt event loop until the condition holds or the time is up;
// returns the condition.
inline bool runEventsUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    return condition();
}

inline void runEventsFor(int milliseconds) { runEventsUntil([] { return false; }, milliseconds); }

// Records alerts instead of showing them, while it lives.
class AlertRecorder {
public:
    AlertRecorder() {
        previous_ = platform::Alert::setPresenter([this](const platform::Alert& alert) {
            texts.push_back((alert.messageText() ? alert.messageText()->text() : std::string()) + " | " +
                            (alert.informativeText() ? alert.informativeText()->text() : std::string()));
        });
    }
    ~AlertRecorder() { platform::Alert::setPresenter(std::move(previous_)); }
    AlertRecorder(const AlertRecorder&) = delete;
    AlertRecorder& operator=(const AlertRecorder&) = delete;

    std::vector<std::string> texts;

private:
    platform::Alert::Presenter previous_;
};

} // namespace testsupport
