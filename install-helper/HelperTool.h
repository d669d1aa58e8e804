#pragma once

// The install helper: started with five arguments it obtains administrator
// rights and starts itself again with them ("--self-repair"); started with
// six or more it installs or deletes a payload.

// Argument count of the run that elevates (program path included).
inline constexpr int ARGUMENT_COUNT = 5;

struct HelperIdentity {
    const char* name;        // begins every log line
    const char* buildStamp;  // "Nov 28 2020 14:32:50"
};

// The whole run; returns the exit status.
int runInstallHelper(const HelperIdentity& identity, int argc, const char* const argv[]);

// Obtains the right and starts the privileged run; returns the failed
// authorization status, or 0 once the privileged run was asked to start.
int performSelfRepair(const HelperIdentity& identity, const char* const argv[]);
