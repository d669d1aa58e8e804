#pragma once

#include "objc/Object.h"

#include <sys/types.h>

namespace platform {

class Array;
class String;

// A child process started from an executable with an argument list. The
// child inherits the environment, working directory and standard streams.
class Task final : public Object {
public:
    static const Class classRecord;  // "NSTask"
    const Class& objectClass() const override { return classRecord; }

    // Starts `launchPath` with argv[0] = launchPath followed by `arguments`
    // (strings). Raises NSInvalidArgumentException when it cannot be started,
    // and for a path that is not absolute.
    static Ref<Task> launchedTaskWithLaunchPath_arguments(const String* launchPath, const Array* arguments);

    // Whether the child is still running; reaps it once it has ended.
    bool isRunning() const;
    // Blocks until the child has ended.
    void waitUntilExit() const;
    pid_t processIdentifier() const { return pid_; }
    // The exit status, or 128 + the signal for a child killed by one.
    // Raises NSInvalidArgumentException while the child is still running.
    int terminationStatus() const;

    explicit Task(pid_t pid);
    ~Task() override;

private:
    void recordStatus(int waitStatus) const;

    pid_t pid_;
    mutable bool ended_ = false;
    mutable int terminationStatus_ = 0;
};

} // namespace platform
