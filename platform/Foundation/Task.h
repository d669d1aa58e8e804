#pragma once

#include "Foundation/ProcessStart.h"
#include "objc/Object.h"

#include <sys/types.h>

namespace platform {

class Array;
class String;

// A child process started from an executable with an argument list. The
// child inherits the environment, working directory and standard streams,
// and starts as every child does (Foundation/ProcessStart.h).
class Task final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSTask"

    // Starts `launchPath` with argv[0] = launchPath followed by `arguments`
    // (strings). Raises NSInvalidArgumentException when it cannot be started,
    // and for a path that is not absolute. `diesWithStarter`: the child is
    // killed once the thread that started it ends.
    static Ref<Task> launchedTaskWithLaunchPath_arguments(const String* launchPath, const Array* arguments,
                                                         bool diesWithStarter = false);

    // Whether the child is still running; reaps it once it has ended.
    bool isRunning() const;
    // Blocks until the child has ended.
    void waitUntilExit() const;
    pid_t processIdentifier() const;
    // The exit status, 128 + the signal for a child killed by one, or -1
    // when its end could not be read (never a success).
    // Raises NSInvalidArgumentException while the child is still running.
    int terminationStatus() const;

    explicit Task(ChildProcess child);
    ~Task() override;

private:
    mutable ChildProcess child_;
};

} // namespace platform
