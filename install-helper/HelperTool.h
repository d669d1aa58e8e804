#pragma once

// The install helper: started with five arguments it obtains administrator
// rights and starts itself again with them ("--self-repair"); started with
// six or more it installs or deletes a payload.

#include "Foundation/ErrorOr.h"

#include <functional>
#include <optional>
#include <string>

struct StepCommand;

// Argument count of the run that elevates (program path included).
inline constexpr int ARGUMENT_COUNT = 5;

struct HelperIdentity {
    const char* name;        // begins every log line
    const char* buildStamp;  // "Nov 28 2020 14:32:50"
};

// Carries out one step command of the privileged run and returns once it has
// ended; whether it ran and succeeded.
using StepRunner = std::function<bool(const StepCommand& step)>;

// What the privileged run takes from the machine. The helper itself leaves
// every member empty; tests and fuzzers put stand-ins in place.
struct HelperEnvironment {
    // Empty: the helper's own runner, which runs its own steps itself and
    // starts the others as child processes, awaited one after another.
    StepRunner runStep;
    // Empty: the bundle that holds the running executable.
    std::string ownBundle;
    // Fails with why someone other than root could change a folder; empty:
    // the real check of the folder and every folder above it.
    std::function<platform::ErrorOr<void>(const std::string& folder)> onlyRootCanChange;
};

// The whole run; returns the exit status.
int runInstallHelper(const HelperIdentity& identity, int argc, const char* const argv[],
                     const HelperEnvironment& environment = {});

// Obtains the right and starts the privileged run; returns the failed
// authorization status, or 0 once the privileged run was asked to start.
int performSelfRepair(const HelperIdentity& identity, const char* const argv[]);
