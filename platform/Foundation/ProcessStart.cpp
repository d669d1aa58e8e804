#include "Foundation/ProcessStart.h"

#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <utility>

extern char** environ;

namespace platform {

namespace {

// waitid's id type for a pidfd (Linux 5.4).
constexpr idtype_t kPidfd = static_cast<idtype_t>(3);

// The group of the StartedGroup that lives: 0 when none does, kNotYet until
// its first program has started, then the group's id.
constexpr pid_t kNotYet = -1;
std::atomic<pid_t> startedGroup{0};
// The terminal the group is given, or -1.
std::atomic<int> startedGroupTerminal{-1};

// Runs `work` with SIGTTOU held back, so that a process not in its
// terminal's foreground may still change the foreground group.
template <class Work>
void withoutStopsForTerminalOutput(Work&& work) {
    sigset_t stops, saved;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &stops, &saved);
    work();
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

// Puts the child `pid` in the group, as the child itself does, whichever of
// the two comes first. The first child makes the group and is given the
// terminal; so does a child that finds the group gone, every process of it
// having ended.
void gatherIntoStartedGroup(pid_t pid, pid_t group) {
    if (group != kNotYet && (setpgid(pid, group) == 0 || getpgid(pid) == group)) return;
    setpgid(pid, pid);
    startedGroup.store(pid);
    if (const int terminal = startedGroupTerminal.load(); terminal >= 0) {
        withoutStopsForTerminalOutput([&] { tcsetpgrp(terminal, pid); });
    }
}

// What a child that could not start reports: the call that failed (a text
// of this program's, at the same address in the starter) and its errno.
struct StartReport {
    const char* call;
    int error;
};

// Everything below runs in the child between fork and exec: only calls that
// are safe there, and nothing that allocates.
[[noreturn]] void failInChild(int report, const char* call) {
    const StartReport failed{call, errno};
    (void)!write(report, &failed, sizeof failed);
    _exit(127);
}

// Begins the child clean, as the header says; the call that failed, or null.
const char* beginClean(const ProcessStart& start, pid_t starter) {
    if (start.diesWithStarter) {
        if (prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0) return "prctl";
        // The starter may have ended before the signal was asked for.
        if (getppid() != starter) _exit(127);
    }
    if (start.newSession && setsid() < 0) return "setsid";
    struct sigaction pipe{};
    sigaction(SIGPIPE, nullptr, &pipe);
    resetSignals({pipe.sa_handler == SIG_IGN ? SIGPIPE : 0});

    // Each descriptor given is first put above those it is given as, so
    // that none is overwritten before it is used.
    constexpr int kGiven = kPassedDescriptor + 1;
    const int given[kGiven] = {start.standardInput, start.standardOutput, start.standardError, start.passedDescriptor};
    int moved[kGiven] = {-1, -1, -1, -1};
    for (int number = 0; number < kGiven; ++number) {
        if (given[number] >= 0 && (moved[number] = fcntl(given[number], F_DUPFD_CLOEXEC, kGiven)) < 0) return "fcntl";
    }
    for (int number = 0; number < kGiven; ++number) {
        if (moved[number] >= 0 && dup2(moved[number], number) < 0) return "dup2";
    }
    return nullptr;
}

// The first descriptor the child does not keep.
int firstNotKept(const ProcessStart& start) { return start.passedDescriptor >= 0 ? kPassedDescriptor + 1 : 3; }

[[noreturn]] void becomeProgram(const ProcessStart& start, char* const argv[], pid_t starter, int report) {
    if (const char* failed = beginClean(start, starter)) failInChild(report, failed);
    // Every other descriptor closes at exec, the report too once exec worked.
    const int first = firstNotKept(start);
    if (syscall(SYS_close_range, static_cast<unsigned>(first), ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = first; fd < 65536; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    execve(start.path.c_str(), argv, environ);
    failInChild(report, "execve");
}

// Closes every descriptor from `first` on.
void closeAllFrom(int first) {
    if (syscall(SYS_close_range, static_cast<unsigned>(first), ~0U, 0U) != 0) {
        for (int fd = first; fd < 65536; ++fd) close(fd);
    }
}

// argv for exec: pointers into `texts`, ended by a null.
std::vector<char*> argvOf(std::vector<std::string>& texts) {
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    return argv;
}

// What the child wrote to the report pipe before exec; nothing when exec
// closed the pipe empty.
ErrorOr<void> readReport(const Descriptor& reading) {
    StartReport failed{};
    const ErrorOr<std::size_t> got = sys::read(reading.get(), &failed, sizeof failed);
    if (got.isError() || got.value() != sizeof failed) return {};
    return Failure::ofCall(failed.call, failed.error);
}

} // namespace

void resetSignals(std::initializer_list<int> keptIgnored) {
    struct sigaction byDefault{};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) {
        if (signal == SIGKILL || signal == SIGSTOP) continue;
        if (std::find(keptIgnored.begin(), keptIgnored.end(), signal) != keptIgnored.end()) {
            struct sigaction now{};
            if (sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) continue;
        }
        sigaction(signal, &byDefault, nullptr);  // the C library's own signals refuse, and stay its own
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

ErrorOr<ChildProcess> startProcess(const ProcessStart& start) {
    std::vector<std::string> texts = start.arguments;
    const std::vector<char*> argv = argvOf(texts);

    // The child reports a failed start through this pipe; exec closes it empty.
    sys::Pipe report = TRY(sys::pipe());
    const pid_t starter = getpid();
    const pid_t group = start.newSession ? 0 : startedGroup.load();
    const pid_t pid = fork();
    if (pid < 0) return Failure::ofCall("fork");
    if (pid == 0) {
        report.reading.reset();
        const int writing = report.writing.get();
        if (group != 0 && (group == kNotYet || setpgid(0, group) != 0) && setpgid(0, 0) != 0) {
            failInChild(writing, "setpgid");
        }
        becomeProgram(start, argv.data(), starter, writing);
    }
    if (group != 0) gatherIntoStartedGroup(pid, group);
    report.writing.reset();
    ErrorOr<void> started = readReport(report.reading);
    // Our own child, not yet reaped: its id names it alone.
    ChildProcess child(pid, Descriptor(syscall(SYS_pidfd_open, pid, 0)));
    if (started.isError()) {
        child.waitUntilEnded();
        return started.releaseError();
    }
    return child;
}

ErrorOr<ChildProcess> startForkedProcess(const ProcessStart& start, const std::function<int()>& body) {
    const pid_t starter = getpid();
    const pid_t pid = fork();
    if (pid < 0) return Failure::ofCall("fork");
    if (pid == 0) {
        if (beginClean(start, starter)) _exit(127);
        closeAllFrom(firstNotKept(start));
        _exit(body());
    }
    // Our own child, not yet reaped: its id names it alone.
    return ChildProcess(pid, Descriptor(syscall(SYS_pidfd_open, pid, 0)));
}

ErrorOr<void> startDetachedProcess(const ProcessStart& start) {
    // It would die with the child in between.
    if (start.diesWithStarter) return Failure::refusal("a detached process cannot die with its starter");
    std::vector<std::string> texts = start.arguments;
    const std::vector<char*> argv = argvOf(texts);

    sys::Pipe report = TRY(sys::pipe());
    // A child in between, which ends at once: the program is then nobody's
    // child but whoever inherits orphans.
    const pid_t between = fork();
    if (between < 0) return Failure::ofCall("fork");
    if (between == 0) {
        report.reading.reset();
        const int writing = report.writing.get();
        const pid_t program = fork();
        if (program < 0) failInChild(writing, "fork");
        if (program > 0) _exit(0);
        becomeProgram(start, argv.data(), getppid(), writing);
    }
    report.writing.reset();
    sys::waitForChild(between);
    return readReport(report.reading);
}

StartedGroup::StartedGroup(int terminal) {
    if (terminal >= 0 && tcgetpgrp(terminal) == getpgrp()) terminal_ = terminal;
    startedGroupTerminal.store(terminal_);
    startedGroup.store(kNotYet);
}

StartedGroup::~StartedGroup() {
    const pid_t group = startedGroup.exchange(0);
    startedGroupTerminal.store(-1);
    if (terminal_ < 0 || group == kNotYet) return;
    withoutStopsForTerminalOutput([&] {
        if (tcgetpgrp(terminal_) == group) tcsetpgrp(terminal_, getpgrp());
    });
}

bool StartedGroup::signal(int signal) const {
    const pid_t group = startedGroup.load();
    if (group <= 0) return false;
    // A process of the group that is not ours to signal (one that became
    // root) is still in it.
    const ErrorOr<void> sent = sys::kill(-group, signal);
    return !sent.isError() || sent.error().code() == EPERM;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(other.pid_), pidfd_(std::move(other.pidfd_)), ended_(other.ended_), status_(other.status_), signal_(other.signal_) {
    other.ended_ = true;
}

void ChildProcess::reap(bool block) {
    if (ended_) return;
    siginfo_t info{};
    const int options = WEXITED | (block ? 0 : WNOHANG);
    const int result = sys::retryingInterrupts([&] {
        return pidfd_ ? waitid(kPidfd, static_cast<id_t>(pidfd_.get()), &info, options)
                           : waitid(P_PID, static_cast<id_t>(pid_), &info, options);
    });
    if (result == 0 && info.si_pid == 0) return;  // still running
    ended_ = true;
    if (result != 0) return;  // reaped elsewhere, or by a SIGCHLD that is ignored: nothing to read
    if (info.si_code == CLD_EXITED) {
        status_ = info.si_status;
    } else {
        signal_ = info.si_status;
        status_ = 128 + info.si_status;
    }
}

bool ChildProcess::hasEnded() {
    reap(false);
    return ended_;
}

void ChildProcess::waitUntilEnded() { reap(true); }

void ChildProcess::sendSignal(int signal) const {
    if (ended_) return;
    if (pidfd_) {
        (void)sys::syscall("pidfd_send_signal", SYS_pidfd_send_signal, pidfd_.get(), signal, nullptr, 0U);
    } else {
        (void)sys::kill(pid_, signal);
    }
}

} // namespace platform
