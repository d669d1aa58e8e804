#include "Foundation/Task.h"

#include "Foundation/SystemCall.h"
#include "Foundation/Array.h"
#include "Foundation/Exception.h"
#include "Foundation/String.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <thread>

namespace platform {

const Class Task::classRecord{"NSTask", &Object::classRecord};

Task::Task(ChildProcess child) : child_(std::move(child)) {}

Task::~Task() {
    if (child_.hasEnded()) return;
    // Nobody waits for this child any more: reap it when it ends, so it
    // does not linger as a zombie.
    std::thread([child = std::move(child_)]() mutable { child.waitUntilEnded(); }).detach();
}

Ref<Task> Task::launchedTaskWithLaunchPath_arguments(const String* launchPath, const Array* arguments,
                                                     bool diesWithStarter) {
    if (launchPath == nullptr) {
        Exception::raise(NSInvalidArgumentException, make<String>("must provide a launch path"));
    }
    // A relative path would name a program in whatever the current folder
    // happens to be.
    const ErrorOr<struct stat> status = sys::stat(launchPath->UTF8String());
    if (!launchPath->text().starts_with('/') || status.isError() || !S_ISREG(status.value().st_mode) ||
        sys::access(launchPath->UTF8String(), X_OK).isError()) {
        Exception::raise(NSInvalidArgumentException, make<String>("launch path not accessible"));
    }

    ProcessStart start{.path = launchPath->text(), .arguments = {launchPath->text()}, .diesWithStarter = diesWithStarter};
    if (arguments) {
        for (const Ref<Object>& argument : arguments->objects()) {
            const String* text = objectAs<String>(argument.get());
            if (text == nullptr) {
                Exception::raise(NSInvalidArgumentException,
                                 String::stringWithFormat("argument of class %s is not a string",
                                                          classNameOf(argument.get()).data()));
            }
            start.arguments.push_back(text->text());
        }
    }
    ErrorOr<ChildProcess> child = startProcess(start);
    if (child.isError()) {
        Exception::raise(NSInvalidArgumentException, String::stringWithFormat("launch path not accessible: %s",
                                                                              std::strerror(child.error().code())));
    }
    return make<Task>(child.releaseValue());
}

bool Task::isRunning() const { return !child_.hasEnded(); }

void Task::waitUntilExit() const { child_.waitUntilEnded(); }

pid_t Task::processIdentifier() const { return child_.pid(); }

int Task::terminationStatus() const {
    if (isRunning()) Exception::raise(NSInvalidArgumentException, make<String>("task still running"));
    return child_.exitStatus();
}

} // namespace platform
