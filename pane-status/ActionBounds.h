// What bounds an Install or Remove that pane-status sends: how long it may
// take, and where the lines of the helper it starts go.
#pragma once

#include "Foundation/Descriptor.h"
#include "Foundation/ProcessStart.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include <termios.h>

namespace panestatus {

// Gathers the programs this process starts meanwhile into a process group
// of their own (the helper, and the pkexec and terminal agent it starts),
// which has the terminal while it runs. Once `seconds` have passed, ends
// that group, unless it ended first. A privileged run already started is
// not in it: it runs detached, and finishes or leaves nothing behind. The
// terminal is given back as it was, in case an agent had turned its echo
// off.
class ActionDeadline {
public:
    explicit ActionDeadline(double seconds);
    ~ActionDeadline();
    ActionDeadline(const ActionDeadline&) = delete;
    ActionDeadline& operator=(const ActionDeadline&) = delete;

    // Whether the time ran out and what was running was ended.
    bool expired() const;

private:
    void endWhatRuns();

    mutable std::mutex mutex_;
    std::condition_variable ended_;
    bool over_ = false;
    bool expired_ = false;
    platform::Descriptor terminal_;
    std::optional<termios> terminalSettings_;
    platform::StartedGroup started_;  // after terminal_, which it is handed
    std::thread watcher_;
};

// While it lives, standard error (and so the helper's) goes to /dev/null,
// unless `verbose`; the helper's lines are in the journal either way.
class HelperLinesQuieted {
public:
    explicit HelperLinesQuieted(bool verbose);
    ~HelperLinesQuieted();
    HelperLinesQuieted(const HelperLinesQuieted&) = delete;
    HelperLinesQuieted& operator=(const HelperLinesQuieted&) = delete;

private:
    platform::Descriptor saved_;
};

} // namespace panestatus
