// The authorities of this system: none is needed by the superuser; anyone
// else asks polkit, which authenticates an administrator and then runs the
// privileged launcher for us.

#include "Foundation/Descriptor.h"
#include "Foundation/SystemCall.h"
#include "Security/Authorization.h"
#include "Security/DetachedStart.h"
#include "Security/LauncherProtocol.h"
#include "Security/PkexecVerdict.h"
#include "Security/TerminalAgent.h"

#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>

extern char** environ;

#ifndef PRIVET_LIBEXEC_DIR
#define PRIVET_LIBEXEC_DIR "/usr/libexec/privet"
#endif

namespace platform {
namespace {

constexpr const char* kPkexecPath = "/usr/bin/pkexec";
constexpr const char* kLauncherName = "privileged-launcher";
constexpr const char* kCatPath = "/bin/cat";

OSStatus statusOfStart(int startError) {
    return startError == 0 ? errAuthorizationSuccess : errAuthorizationToolExecuteFailure;
}

// The launcher beside the running program, else the installed one.
std::optional<std::string> privilegedLauncherPath() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string beside(self, static_cast<std::size_t>(length));
        beside = beside.substr(0, beside.rfind('/') + 1) + kLauncherName;
        if (access(beside.c_str(), X_OK) == 0) return beside;
    }
    std::string installed = std::string(PRIVET_LIBEXEC_DIR) + "/" + kLauncherName;
    if (access(installed.c_str(), X_OK) == 0) return installed;
    return std::nullopt;
}

// The most the launcher says in one reply, and the most of what pkexec
// says on standard error that is kept.
constexpr std::size_t kMaximumReply = 4096;
// pkexec has ended when its socket closes; what it said has come by then.
constexpr std::chrono::seconds kLastWordsPatience{2};

// Passes on to standard error what comes on `fd` until its writers are
// done: the launcher, and the privileged run it started, which outlives us.
// cat does it, as a child that is never waited for.
void passOnUntilTheEnd(int fd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    std::string cat = kCatPath;
    char* argv[] = {cat.data(), nullptr};
    char* noEnvironment[] = {nullptr};
    pid_t pid = -1;
    posix_spawn(&pid, kCatPath, &actions, nullptr, argv, noEnvironment);
    posix_spawn_file_actions_destroy(&actions);
}

int waitForExit(pid_t pid) {
    const int status = sys::waitForChild(pid);
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SuperuserAuthority final : public Authority {
public:
    OSStatus obtainAdministratorRight(bool) override { return errAuthorizationSuccess; }
    OSStatus startPrivileged(const std::string& path, const std::vector<std::string>& arguments) override {
        return statusOfStart(startDetached(path, arguments));
    }
};

class PolkitAuthority final : public Authority {
public:
    ~PolkitAuthority() override { endLauncher(); }

    OSStatus obtainAdministratorRight(bool interactionAllowed) override {
        if (socket_) return errAuthorizationSuccess;
        if (!interactionAllowed) return errAuthorizationInteractionNotAllowed;
        if (access(kPkexecPath, X_OK) != 0) return errAuthorizationInternal;
        const std::optional<std::string> launcher = privilegedLauncherPath();
        if (!launcher) return errAuthorizationToolExecuteFailure;

        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return errAuthorizationInternal;
        Descriptor ours(pair[0]);
        Descriptor theirs(pair[1]);
        // What pkexec says on standard error tells why it refused.
        int said[2];
        if (pipe2(said, O_CLOEXEC) != 0) return errAuthorizationInternal;
        Descriptor saidHere(said[0]);
        Descriptor saidThere(said[1]);
        // On a terminal, the password is asked there when no agent is registered.
        const TerminalAgent terminalAgent;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, theirs.get(), STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, theirs.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, saidThere.get(), STDERR_FILENO);
        std::string pkexec = kPkexecPath;
        std::string launcherPath = *launcher;
        char* argv[] = {pkexec.data(), launcherPath.data(), nullptr};
        const int error = posix_spawn(&pid_, kPkexecPath, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        theirs.reset();
        saidThere.reset();
        if (error != 0) {
            pid_ = -1;
            return errAuthorizationInternal;
        }
        socket_ = std::move(ours);
        said_ = std::move(saidHere);

        // Authentication happens now; the launcher speaks once it runs as root.
        if (sys::readUpTo(socket_.get(), kMaximumReply, true) == launcher::kGranted) return errAuthorizationSuccess;
        const std::string words = sys::readUpToWithin(said_.get(), kMaximumReply, kLastWordsPatience).value_or("");
        sys::writeAll(STDERR_FILENO, words);
        said_.reset();
        socket_.reset();
        const int status = waitForExit(pid_);
        pid_ = -1;
        return statusOfRefusedPkexec(status, words);
    }

    OSStatus startPrivileged(const std::string& path, const std::vector<std::string>& arguments) override {
        if (!socket_) return errAuthorizationInternal;
        // MSG_NOSIGNAL: a launcher that went away is a failed start, not a SIGPIPE.
        const std::string request = launcher::encodeRequest({path, arguments});
        for (std::string_view rest = request; !rest.empty();) {
            const ssize_t sent =
                sys::retryingInterrupts([&] { return send(socket_.get(), rest.data(), rest.size(), MSG_NOSIGNAL); });
            if (sent <= 0) break;
            rest.remove_prefix(static_cast<std::size_t>(sent));
        }
        shutdown(socket_.get(), SHUT_WR);
        const std::optional<int> startError = launcher::decodeReply(sys::readUpTo(socket_.get(), kMaximumReply));
        endLauncher();
        return startError ? statusOfStart(*startError) : errAuthorizationToolExecuteFailure;
    }

private:
    void endLauncher() {
        socket_.reset();  // an idle launcher ends at end of stream
        if (said_) passOnUntilTheEnd(said_.get());
        said_.reset();
        if (pid_ > 0) waitForExit(pid_);
        pid_ = -1;
    }

    Descriptor socket_;
    Descriptor said_;  // pkexec's standard error, then the launcher's
    pid_t pid_ = -1;
};

} // namespace

std::unique_ptr<Authority> makeSystemAuthority() {
    if (geteuid() == 0) return std::make_unique<SuperuserAuthority>();
    return std::make_unique<PolkitAuthority>();
}

} // namespace platform
