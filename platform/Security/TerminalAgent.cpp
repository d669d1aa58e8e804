#include "Security/TerminalAgent.h"

#include "Foundation/Descriptor.h"
#include "Foundation/ProcessStatus.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

namespace platform {
namespace {

constexpr const char* kAgentPath = "/usr/bin/pkttyagent";
constexpr std::chrono::seconds kRegistrationPatience{5};

} // namespace

TerminalAgent::TerminalAgent() {
    if (sys::access(kAgentPath, X_OK).isError()) return;
    ErrorOr<Descriptor> terminal = sys::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal.isError()) return;
    // Named by pid and start time, so that a recycled pid cannot stand in.
    const std::optional<std::string> process = processForPolkit(getpid());
    if (!process) return;
    ErrorOr<sys::Pipe> notify = sys::pipe();
    if (notify.isError()) return;
    ProcessStart start;
    start.path = kAgentPath;
    start.arguments = {kAgentPath, "--process", *process, "--notify-fd", std::to_string(kPassedDescriptor), "--fallback"};
    start.standardInput = start.standardOutput = start.standardError = terminal.value().get();
    start.passedDescriptor = notify.value().writing.get();
    ErrorOr<ChildProcess> agent = startProcess(start);
    notify.value().writing.reset();
    if (agent.isError()) return;
    // The end of the stream comes when the agent is registered, or gone.
    (void)sys::readUpToWithin(notify.value().reading.get(), 1, kRegistrationPatience);
    // Still running: registered, or still trying. Ended: it could not be.
    if (!agent.value().hasEnded()) agent_.emplace(agent.releaseValue());
}

TerminalAgent::~TerminalAgent() {
    if (!agent_) return;
    agent_->sendSignal(SIGTERM);
    agent_->waitUntilEnded();
}

} // namespace platform
