#pragma once

// The one way a child process is started. Whatever this process inherited,
// the child begins clean: every signal at its default disposition (but
// SIGPIPE, which stays ignored where this process ignores it) and none
// blocked, no descriptor but its three standard streams. It is waited for
// through a descriptor of its own (a pidfd), never by a process id alone.

#include <sys/types.h>

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
};

// A started child. Going away neither ends nor reaps it: its owner decides.
class ChildProcess {
public:
    ChildProcess(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ChildProcess(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid() const { return pid_; }
    // Whether it has ended (reaping it); never blocks.
    bool hasEnded();
    // Blocks until it has ended.
    void waitUntilEnded();
    // Once ended: its exit status, 128 + the signal that ended it, or -1
    // when its end could not be read (never a success).
    int exitStatus() const { return status_.value_or(-1); }

private:
    void reap(bool block);

    pid_t pid_;
    int pidfd_;
    bool ended_ = false;
    std::optional<int> status_;
};

// Starts the child; absent, with errno set, when it could not be started
// (the program could not be executed included).
std::optional<ChildProcess> startProcess(const ProcessStart& start);

// Starts the child as a process that is nobody's child of ours: it outlives
// us and is never waited for (`diesWithStarter` cannot be asked for). 0, or
// the errno of the failed start.
int startDetachedProcess(const ProcessStart& start);

// Gives every signal its default disposition and unblocks them all, but for
// those in `keptIgnored` that are ignored now. Async-signal-safe.
void resetSignals(std::initializer_list<int> keptIgnored = {});

} // namespace platform
