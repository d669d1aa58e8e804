#include "PreferencePanes/PaneTrial.h"

#include "Foundation/Descriptor.h"
#include "Foundation/Log.h"
#include "Foundation/ProcessStart.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <optional>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// What the child writes on its pipe: a line "S<seconds> <step>" as each step
// begins, then "R" and its result up to the end, or "X" and the text of an
// exception that its work let out.
constexpr char kStep = 'S';
constexpr char kResult = 'R';
constexpr char kRaised = 'X';
// A result larger than this is cut; nothing a pane reports comes near it.
constexpr std::size_t kResultLimit = 16 << 20;
// A line longer than this is dropped.
constexpr std::size_t kLineLimit = 64 << 10;
// One read from a child's pipe, and how many of them take all it can have
// left there once it has ended.
constexpr std::size_t kReadSize = 64 << 10;
constexpr std::size_t kDrainRounds = (kResultLimit + kLineLimit) / kReadSize + 1;
// No step is given longer than a day.
constexpr long kLongestStep = 24 * 60 * 60 + 60;

// What the child said, as far as it got.
struct ChildReport {
    std::string step = "starting";
    std::chrono::seconds bound = kPaneStepBound;
    bool resultBegun = false;
    std::string result;
    std::optional<std::string> raised;
    std::string pending;  // a line not yet whole

    // Takes in what arrived; true when a step began.
    bool take(std::string_view bytes) {
        bool stepBegun = false;
        if (resultBegun) {
            result.append(bytes.substr(0, kResultLimit - std::min(kResultLimit, result.size())));
            return false;
        }
        pending.append(bytes);
        while (!pending.empty() && !resultBegun) {
            if (pending[0] == kResult) {
                resultBegun = true;
                result = pending.substr(1);
                pending.clear();
                break;
            }
            const std::size_t end = pending.find('\n');
            if (end == std::string::npos) {
                if (pending.size() > kLineLimit) pending.clear();
                break;
            }
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.size() > 1 && line[0] == kRaised) {
                raised = line.substr(1);
            } else if (line.size() > 1 && line[0] == kStep) {
                const std::size_t blank = line.find(' ');
                if (blank == std::string::npos) continue;
                // The pipe is within reach of the pane's code: its words are kept in bounds.
                bound = std::chrono::seconds(std::clamp(std::strtol(line.c_str() + 1, nullptr, 10), 1L, kLongestStep));
                step = line.substr(blank + 1);
                stepBegun = true;
            }
        }
        return stepBegun;
    }
};

std::string lowerFirst(std::string text) {
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// How a child that did not finish its work ended, in a user's words.
std::string howItEnded(const ChildProcess& child, const ChildReport& report) {
    if (report.raised) return "it raised " + *report.raised;
    if (const int signal = child.endingSignal()) {
        if (signal == SIGKILL) return "it was killed";
        const char* name = strsignal(signal);
        return "it crashed (" + lowerFirst(name ? name : "signal " + std::to_string(signal)) + ")";
    }
    if (child.exitStatus() < 0) return "its end could not be read";
    return "it exited with status " + std::to_string(child.exitStatus());
}

// The child's side: runs the work and writes what it returned.
int runWork(const std::function<std::string(TrialSteps&)>& work, int fd, bool quiet) {
    if (quiet) silenceJournal();
    TrialSteps steps(fd);
    std::string result;
    try {
        result = work(steps);
    } catch (const std::exception& error) {
        (void)sys::writeAll(fd, std::string(1, kRaised) + escapedControlCharacters(error.what()) + "\n");
        return 1;
    } catch (...) {
        (void)sys::writeAll(fd, std::string(1, kRaised) + "an exception of unknown type\n");
        return 1;
    }
    if (sys::writeAll(fd, std::string(1, kResult) + result).isError()) return 1;
    return 0;
}

// Reads what has arrived into the report, a new step restarting the clock;
// false at the stream's end.
bool readFrom(int fd, ChildReport& report, Clock::time_point& deadline) {
    char buffer[kReadSize];
    const ErrorOr<std::size_t> got = sys::read(fd, buffer, sizeof buffer);
    if (got.isError() || got.value() == 0) return false;
    if (report.take(std::string_view(buffer, got.value()))) deadline = Clock::now() + report.bound;
    return true;
}

} // namespace

void TrialSteps::begin(std::string_view step, std::chrono::seconds bound) {
    (void)sys::writeAll(fd_, std::string(1, kStep) + std::to_string(bound.count()) + " " + std::string(step) + "\n");
}

TrialEnd runInProcessOfItsOwn(const std::function<std::string(TrialSteps&)>& work, const TrialOptions& options) {
    ErrorOr<sys::Pipe> ends = sys::pipe();
    if (ends.isError()) return {false, {}, "could not be tried: " + ends.error().describe()};
    Descriptor reading = std::move(ends.value().reading);
    Descriptor writing = std::move(ends.value().writing);

    ProcessStart start;
    start.newSession = options.ownProcessGroup;
    start.diesWithStarter = true;
    start.passedDescriptor = writing.get();
    ErrorOr<Descriptor> nowhere = options.quiet ? sys::open("/dev/null", O_WRONLY | O_CLOEXEC) : Descriptor();
    start.standardOutput = start.standardError = nowhere.isError() ? -1 : nowhere.value().get();
    ErrorOr<ChildProcess> started =
        startForkedProcess(start, [&] { return runWork(work, kPassedDescriptor, options.quiet); });
    if (started.isError()) return {false, {}, "could not be tried: " + started.error().describe()};
    ChildProcess child = started.releaseValue();
    writing.reset();

    ChildReport report;
    auto deadline = Clock::now() + report.bound;
    bool overran = false;
    bool streamEnded = false;
    // Ended is seen on its pidfd, and it is reaped only after what it left
    // in its process group has been ended: until then its id stays its own.
    bool ended = false;
    while (!ended || !streamEnded) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            overran = true;
            break;
        }
        pollfd ready[2] = {{streamEnded ? -1 : reading.get(), POLLIN, 0}, {ended ? -1 : child.descriptor(), POLLIN, 0}};
        if (sys::poll(ready, 2, static_cast<int>(left.count())).isError()) break;
        if (ready[0].revents != 0 && !readFrom(reading.get(), report, deadline)) streamEnded = true;
        if (ready[1].revents != 0) {
            ended = true;
            // What it wrote before it ended is there now; a process it left
            // holding the pipe is not waited for.
            for (std::size_t rounds = 0; !streamEnded && rounds < kDrainRounds; ++rounds) {
                pollfd more{reading.get(), POLLIN, 0};
                const ErrorOr<int> ready = sys::poll(&more, 1, 0);
                if (ready.isError() || ready.value() == 0 || !readFrom(reading.get(), report, deadline)) break;
            }
            streamEnded = true;
        }
        // Without a pidfd (a kernel before 5.3), its stream's end stands for its own.
        if (child.descriptor() < 0 && streamEnded) ended = true;
    }
    if (options.ownProcessGroup) (void)sys::kill(-child.pid(), SIGKILL);
    if (!ended) child.sendSignal(SIGKILL);
    child.waitUntilEnded();
    if (overran) {
        return {false, {}, "did not finish " + report.step + " within " + std::to_string(report.bound.count()) + " seconds"};
    }
    if (report.resultBegun && child.endingSignal() == 0 && child.exitStatus() == 0) {
        return {true, std::move(report.result), {}};
    }
    return {false, {}, "stopped while " + report.step + ": " + howItEnded(child, report)};
}

} // namespace platform
