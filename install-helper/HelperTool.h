#pragma once

// The install helper: started with five arguments it obtains administrator
// rights and starts itself again with them ("--self-repair"); started with
// six or more it installs or deletes a payload.

#include <functional>

struct StepCommand;

// Argument count of the run that elevates (program path included).
inline constexpr int ARGUMENT_COUNT = 5;

struct HelperIdentity {
    const char* name;        // begins every log line
    const char* buildStamp;  // "Nov 28 2020 14:32:50"
};

// Carries out one step command of the privileged run and returns once it has
// ended. Empty: the helper's own runner, which starts the command as a child
// process and polls it once a second. Tests and fuzzers pass one that only
// records the step.
// Returns whether the command ran and succeeded.
using StepRunner = std::function<bool(const StepCommand& step)>;

// The whole run; returns the exit status.
int runInstallHelper(const HelperIdentity& identity, int argc, const char* const argv[],
                     const StepRunner& runStep = {});

// Obtains the right and starts the privileged run; returns the failed
// authorization status, or 0 once the privileged run was asked to start.
int performSelfRepair(const HelperIdentity& identity, const char* const argv[]);
