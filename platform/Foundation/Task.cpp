#include "Foundation/Task.h"

#include "Foundation/Array.h"
#include "Foundation/Exception.h"
#include "Foundation/String.h"
#include "Foundation/SystemCall.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>
#include <vector>

extern char** environ;

namespace platform {

const Class Task::classRecord{"NSTask", &Object::classRecord};

Task::Task(pid_t pid) : pid_(pid) {}

Task::~Task() {
    if (ended_ || isRunning() == false) return;
    // Nobody waits for this child any more: reap it when it ends, so it
    // does not linger as a zombie.
    std::thread([pid = pid_] { sys::waitForChild(pid); }).detach();
}

Ref<Task> Task::launchedTaskWithLaunchPath_arguments(const String* launchPath, const Array* arguments) {
    if (launchPath == nullptr) {
        Exception::raise(NSInvalidArgumentException, make<String>("must provide a launch path"));
    }
    // A relative path would name a program in whatever the current folder
    // happens to be.
    struct stat status{};
    if (!launchPath->text().starts_with('/') || stat(launchPath->UTF8String(), &status) != 0 ||
        !S_ISREG(status.st_mode) || access(launchPath->UTF8String(), X_OK) != 0) {
        Exception::raise(NSInvalidArgumentException, make<String>("launch path not accessible"));
    }

    std::vector<std::string> texts{launchPath->text()};
    if (arguments) {
        for (const Ref<Object>& argument : arguments->objects()) {
            const String* text = objectAs<String>(argument.get());
            if (text == nullptr) {
                Exception::raise(NSInvalidArgumentException,
                                 String::stringWithFormat("argument of class %s is not a string",
                                                          classNameOf(argument.get()).data()));
            }
            texts.push_back(text->text());
        }
    }
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int error = posix_spawn(&pid, launchPath->UTF8String(), nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        Exception::raise(NSInvalidArgumentException,
                         String::stringWithFormat("launch path not accessible: %s", std::strerror(error)));
    }
    return make<Task>(pid);
}

void Task::recordStatus(int waitStatus) const {
    ended_ = true;
    terminationStatus_ = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
}

bool Task::isRunning() const {
    if (ended_) return false;
    int status = 0;
    const pid_t result = sys::retryingInterrupts([&] { return waitpid(pid_, &status, WNOHANG); });
    if (result == 0) return true;
    if (result == pid_) recordStatus(status);
    else ended_ = true;  // not our child any more (already reaped elsewhere)
    return false;
}

void Task::waitUntilExit() const {
    if (ended_) return;
    int status = 0;
    const pid_t result = sys::retryingInterrupts([&] { return waitpid(pid_, &status, 0); });
    if (result == pid_) recordStatus(status);
    else ended_ = true;
}

int Task::terminationStatus() const {
    if (isRunning()) Exception::raise(NSInvalidArgumentException, make<String>("task still running"));
    return terminationStatus_;
}

} // namespace platform
