// The authorities of this system: none is needed by the superuser; anyone
// else asks polkit, which authenticates an administrator and then runs the
// privileged launcher for us.

#include "Foundation/Descriptor.h"
#include "Foundation/ProcessStart.h"
#include "Foundation/SystemCall.h"
#include "Security/Authorization.h"
#include "Security/DetachedStart.h"
#include "Security/LauncherProtocol.h"
#include "Security/PkexecVerdict.h"
#include "Security/TerminalAgent.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>

#ifndef PRIVET_LIBEXEC_DIR
#define PRIVET_LIBEXEC_DIR "/usr/libexec/privet"
#endif

namespace platform {
namespace {

constexpr const char* kPkexecPath = "/usr/bin/pkexec";
constexpr const char* kLauncherName = "privileged-launcher";
constexpr const char* kCatPath = "/bin/cat";

OSStatus statusOfStart(bool started) { return started ? errAuthorizationSuccess : errAuthorizationToolExecuteFailure; }

// The launcher beside the running program, else the installed one.
std::optional<std::string> privilegedLauncherPath() {
    if (const std::optional<std::string> self = sys::resolvedPath("/proc/self/exe")) {
        const std::string beside = self->substr(0, self->rfind('/') + 1) + kLauncherName;
        if (!sys::access(beside.c_str(), X_OK).isError()) return beside;
    }
    std::string installed = std::string(PRIVET_LIBEXEC_DIR) + "/" + kLauncherName;
    if (!sys::access(installed.c_str(), X_OK).isError()) return installed;
    return std::nullopt;
}

// The most the launcher says in one reply, and the most of what pkexec
// says on standard error that is kept.
constexpr std::size_t kMaximumReply = 4096;
// pkexec has ended when its socket closes; what it said has come by then.
constexpr std::chrono::seconds kLastWordsPatience{2};

// Passes on to standard error what comes on `fd` until its writers are
// done: the launcher, and the privileged run it started, which outlives us.
// cat does it, as a process of its own that is never waited for.
void passOnUntilTheEnd(int fd) {
    ProcessStart start;
    start.path = kCatPath;
    start.arguments = {kCatPath};
    start.standardInput = fd;
    start.standardOutput = STDERR_FILENO;
    (void)startDetachedProcess(start);
}

class SuperuserAuthority final : public Authority {
public:
    OSStatus obtainAdministratorRight(bool) override { return errAuthorizationSuccess; }
    OSStatus startPrivileged(const std::string& path, const std::vector<std::string>& arguments) override {
        return statusOfStart(!startDetached(path, arguments).isError());
    }
};

class PolkitAuthority final : public Authority {
public:
    ~PolkitAuthority() override { endLauncher(); }

    OSStatus obtainAdministratorRight(bool interactionAllowed) override {
        if (socket_) return errAuthorizationSuccess;
        if (!interactionAllowed) return errAuthorizationInteractionNotAllowed;
        if (sys::access(kPkexecPath, X_OK).isError()) return errAuthorizationInternal;
        const std::optional<std::string> launcher = privilegedLauncherPath();
        if (!launcher) return errAuthorizationToolExecuteFailure;

        ErrorOr<sys::SocketPair> pair = sys::socketpair(AF_UNIX, SOCK_STREAM);
        // What pkexec says on standard error tells why it refused.
        ErrorOr<sys::Pipe> said = sys::pipe();
        if (pair.isError() || said.isError()) return errAuthorizationInternal;
        // On a terminal, the password is asked there when no agent is registered.
        const TerminalAgent terminalAgent;
        ProcessStart start;
        start.path = kPkexecPath;
        start.arguments = {kPkexecPath, *launcher};
        start.standardInput = start.standardOutput = pair.value().theirs.get();
        start.standardError = said.value().writing.get();
        ErrorOr<ChildProcess> pkexec = startProcess(start);
        // Only pkexec holds its ends now: when it ends, our ends see it.
        pair.value().theirs.reset();
        said.value().writing.reset();
        if (pkexec.isError()) return errAuthorizationInternal;
        pkexec_.emplace(pkexec.releaseValue());
        socket_ = std::move(pair.value().ours);
        said_ = std::move(said.value().reading);

        // Authentication happens now; the launcher speaks once it runs as root.
        if (sys::readUpTo(socket_.get(), kMaximumReply, true) == launcher::kGranted) return errAuthorizationSuccess;
        const std::string words = sys::readUpToWithin(said_.get(), kMaximumReply, kLastWordsPatience).value_or("");
        (void)sys::writeAll(STDERR_FILENO, words);
        said_.reset();
        socket_.reset();
        pkexec_->waitUntilEnded();
        const int status = pkexec_->exitStatus();
        pkexec_.reset();
        return statusOfRefusedPkexec(status, words);
    }

    OSStatus startPrivileged(const std::string& path, const std::vector<std::string>& arguments) override {
        if (!socket_) return errAuthorizationInternal;
        // MSG_NOSIGNAL: a launcher that went away is a failed start, not a SIGPIPE.
        const std::string request = launcher::encodeRequest({path, arguments});
        (void)sys::sendAll(socket_.get(), request);
        shutdown(socket_.get(), SHUT_WR);
        const std::optional<int> startError = launcher::decodeReply(sys::readUpTo(socket_.get(), kMaximumReply));
        endLauncher();
        return statusOfStart(startError == 0);
    }

private:
    void endLauncher() {
        socket_.reset();  // an idle launcher ends at end of stream
        if (said_) passOnUntilTheEnd(said_.get());
        said_.reset();
        if (pkexec_) pkexec_->waitUntilEnded();
        pkexec_.reset();
    }

    Descriptor socket_;
    Descriptor said_;  // pkexec's standard error, then the launcher's
    std::optional<ChildProcess> pkexec_;
};

} // namespace

std::unique_ptr<Authority> makeSystemAuthority() {
    if (geteuid() == 0) return std::make_unique<SuperuserAuthority>();
    return std::make_unique<PolkitAuthority>();
}

} // namespace platform
