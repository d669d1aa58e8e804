#pragma once

// The one way a child process is started. Whatever this process inherited,
// the child begins clean: every signal at its default disposition (but
// SIGPIPE, which stays ignored where this process ignores it) and none
// blocked, no descriptor but its three standard streams and one it is
// passed. It is waited for
// through a descriptor of its own (a pidfd), never by a process id alone.

#include "Foundation/Descriptor.h"
#include "Foundation/ErrorOr.h"

#include <sys/types.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ProcessStart {
    std::string path;                       // absolute path of the program
    std::vector<std::string> arguments;     // argv, argv[0] included
    // The child's standard input, output and error: descriptors of ours, or
    // -1 for the same as ours.
    int standardInput = -1;
    int standardOutput = -1;
    int standardError = -1;
    bool newSession = false;    // a session and process group of its own
    // SIGKILL once the thread that started it ends, however it ends.
    bool diesWithStarter = false;
    // A descriptor of ours that the child has as kPassedDescriptor (-1: none).
    int passedDescriptor = -1;
};

// The number a child has the descriptor passed to it under.
inline constexpr int kPassedDescriptor = 3;

// A started child. Going away neither ends nor reaps it: its owner decides.
class ChildProcess {
public:
    ChildProcess(pid_t pid, Descriptor pidfd) : pid_(pid), pidfd_(std::move(pidfd)) {}
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Whether it has ended (reaping it); never blocks.
    bool hasEnded();
    // Blocks until it has ended.
    void waitUntilEnded();
    // Once ended: its exit status, 128 + the signal that ended it, or -1
    // when its end could not be read (never a success).
    int exitStatus() const { return status_.value_or(-1); }
    // Once ended: the signal that ended it, 0 when it exited.
    int endingSignal() const { return signal_; }

    // Readable once it has ended; for poll.
    int descriptor() const { return pidfd_.get(); }
    // Sends a signal while it has not been reaped, so it cannot reach
    // another process of the same id.
    void sendSignal(int signal) const;

private:
    void reap(bool block);

    pid_t pid_;
    Descriptor pidfd_;
    bool ended_ = false;
    std::optional<int> status_;
    int signal_ = 0;
};

// While one lives, the programs this process starts with startProcess (but
// those given a session of their own) are put in one process group of their
// own, the first of them its leader, with whatever they start in turn. When
// this process has `terminal` (its controlling terminal, open) in the
// foreground, the group has it until the scope ends, so that what it starts
// can ask there. The group is then
// signalled as a whole, never by process ids read from elsewhere. One at a
// time.
class StartedGroup {
public:
    explicit StartedGroup(int terminal = -1);
    ~StartedGroup();
    StartedGroup(const StartedGroup&) = delete;
    StartedGroup& operator=(const StartedGroup&) = delete;

    // Sends `signal` (0: none) to the group; false when it has no process
    // left, or none was started.
    bool signal(int signal) const;

private:
    int terminal_ = -1;  // when this process had it in the foreground
};

// Starts the child; a failure names the call that failed in the starter or
// the child (execve: the program could not be executed) and its errno.
ErrorOr<ChildProcess> startProcess(const ProcessStart& start);

// Starts a child that runs `body` of this program, not another program (a
// fork without exec), begun as clean as startProcess makes one; it ends
// with the status `body` returns, without running this program's exit
// handlers. Only while this process has one thread: a copy of a process
// whose other threads held locks can deadlock.
ErrorOr<ChildProcess> startForkedProcess(const ProcessStart& start, const std::function<int()>& body);

// Starts the child as a process that is nobody's child of ours: it outlives
// us and is never waited for (`diesWithStarter` cannot be asked for).
ErrorOr<void> startDetachedProcess(const ProcessStart& start);

// Gives every signal its default disposition and unblocks them all, but for
// those in `keptIgnored` that are ignored now. Async-signal-safe.
void resetSignals(std::initializer_list<int> keptIgnored = {});

} // namespace platform
