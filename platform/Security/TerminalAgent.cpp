#include "Security/TerminalAgent.h"

#include "Foundation/Descriptor.h"
#include "Foundation/ProcessStatus.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

extern char** environ;

namespace platform {
namespace {

constexpr const char* kAgentPath = "/usr/bin/pkttyagent";
// The descriptor the agent closes once it is registered.
constexpr int kNotifyDescriptor = 3;
constexpr std::chrono::seconds kRegistrationPatience{5};

} // namespace

TerminalAgent::TerminalAgent() {
    if (access(kAgentPath, X_OK) != 0) return;
    Descriptor terminal(sys::retryingInterrupts([] { return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC); }));
    if (!terminal) return;
    // Named by pid and start time, so that a recycled pid cannot stand in.
    const std::optional<std::string> process = processForPolkit(getpid());
    int notify[2];
    if (!process || pipe2(notify, O_CLOEXEC) != 0) return;
    const Descriptor registered(notify[0]);
    Descriptor toldRegistered(notify[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        posix_spawn_file_actions_adddup2(&actions, terminal.get(), stream);
    }
    posix_spawn_file_actions_adddup2(&actions, toldRegistered.get(), kNotifyDescriptor);
    std::string program = kAgentPath, processOption = "--process", processValue = *process,
                notifyOption = "--notify-fd", notifyValue = std::to_string(kNotifyDescriptor),
                fallback = "--fallback";
    char* argv[] = {program.data(),     processOption.data(), processValue.data(), notifyOption.data(),
                    notifyValue.data(), fallback.data(),      nullptr};
    pid_t pid = -1;
    const int error = posix_spawn(&pid, kAgentPath, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    toldRegistered.reset();
    terminal.reset();
    if (error != 0) return;
    // The end of the stream comes when the agent is registered, or gone.
    sys::readUpToWithin(registered.get(), 1, kRegistrationPatience);
    // Still running: registered, or still trying. Ended: it could not be.
    int status = 0;
    if (sys::retryingInterrupts([&] { return waitpid(pid, &status, WNOHANG); }) == 0) pid_ = pid;
}

TerminalAgent::~TerminalAgent() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    sys::waitForChild(pid_);
}

} // namespace platform
