#pragma once

// Pane code run in a process of its own first, so that a pane that crashes,
// exits or hangs ends that process and not the host that would show it.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// How long one step of a pane's code may take before it counts as hung.
constexpr std::chrono::seconds kPaneStepBound{10};

// Given to the work in the child: it names each step before starting it, so
// that the host can say where the pane stopped and bound each step.
class TrialSteps {
public:
    explicit TrialSteps(int fd) : fd_(fd) {}
    // `step` reads after "while" and "did not finish": "loading",
    // "loading its view".
    void begin(std::string_view step, std::chrono::seconds bound = kPaneStepBound);

private:
    int fd_;
};

struct TrialEnd {
    // The work returned; `result` is what it returned.
    bool finished = false;
    std::string result;
    // Otherwise, in a user's words: "stopped while loading: it crashed
    // (segmentation fault)", "did not finish loading within 10 seconds".
    std::string failure;
};

struct TrialOptions {
    // A process group of its own, ended whole when a step overruns; a child
    // that may ask on the terminal stays in ours.
    bool ownProcessGroup = true;
    // Its standard output and error go nowhere, and it writes nothing to the
    // journal: lines the host writes again once it runs the code itself.
    bool quiet = true;
};

// Forks a child that runs `work` and waits for it, each step no longer than
// its bound (a step overrun ends the child). Only while this process has one
// thread.
TrialEnd runInProcessOfItsOwn(const std::function<std::string(TrialSteps&)>& work, const TrialOptions& options = {});

} // namespace platform
