#pragma once

#include "Foundation/Descriptor.h"
#include "Foundation/ProcessStart.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QPointer>
#include <QSocketNotifier>

namespace platform {

// Tries each pane's code in a process of its own before the preferences
// window runs it: loading it, creating its pane, loading its view and
// selecting it. The tries are made by a server that is forked first thing,
// while the application still has one thread, and that forks one child per
// pane from there (see PaneTrial.h).
class PaneTrials {
public:
    // Forks the server; call before anything starts a thread (Qt included).
    PaneTrials();
    ~PaneTrials();
    PaneTrials(const PaneTrials&) = delete;
    PaneTrials& operator=(const PaneTrials&) = delete;

    // Tries the pane at `path`; `done` is called from the event loop with
    // why the pane cannot run here, or an empty text when it came through.
    void tryPane(const std::string& path, std::function<void(std::string failure)> done);
    // Starts the try of the pane at `path` now, before Qt, so that it runs
    // while the window is made; a later tryPane of it hears its answer.
    void tryEarly(const std::string& path);

private:
    ErrorOr<void> ask(const std::string& path);
    void readAnswers();
    void failAll(const std::string& why);

    Descriptor socket_;
    std::optional<ChildProcess> server_;
    std::string startError_;
    QPointer<QSocketNotifier> notifier_;
    std::map<std::string, std::vector<std::function<void(std::string)>>> waiting_;
};

} // namespace platform
