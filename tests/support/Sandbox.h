#pragma once

// A private mount namespace (bubblewrap) whose /Library, /System/Library and
// /root are throwaway folders, for running the real programs as root
// without touching the machine's own folders.

#include "support/LogLines.h"
#include "support/TempDir.h"

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

struct SandboxResult {
    int exitStatus = -1;       // 128 + signal for a program killed by one
    std::string standardError;
    std::string standardOutput;
};

struct SandboxOptions {
    bool asUnprivilegedUser = false;   // run as "nobody" instead of root
    std::string workingDirectory;      // inside the sandbox; "/" when empty
    // Host files to put in place of sandbox files: {host path, sandbox path}.
    std::vector<std::pair<std::string, std::string>> replacements;
    // Host folders to make visible read-only at the same path.
    std::vector<std::string> readOnlyFolders;
    // Show the installed product (the InstalledProduct fixture, installed
    // with DESTDIR=PRODUCT_STAGE) at PRODUCT_PREFIX, where the launcher
    // accepts its helpers.
    bool installedProduct = false;
};

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // The folders the sandbox sees as /Library, /System/Library and /root.
    std::filesystem::path library() const { return root_.path() / "Library"; }
    std::filesystem::path systemLibrary() const { return root_.path() / "System" / "Library"; }
    std::filesystem::path home() const { return root_.path() / "root"; }
    // A folder visible at the same path inside and outside, for payloads.
    std::filesystem::path work() const { return root_.path() / "work"; }
    // A group of the machine's cgroup2 hierarchy that the sandbox sees as its
    // /sys/fs/cgroup, ended with everything in it when the sandbox goes;
    // empty where there is no such hierarchy or no root to make one.
    const std::filesystem::path& controlGroup() const { return controlGroup_; }

    // Runs a program and its arguments; returns when it has ended.
    SandboxResult run(const std::vector<std::string>& command, const SandboxOptions& options = {}) const;
    // Standard error of the last run so far, including what processes it
    // left running have written since.
    std::string standardErrorSoFar() const;
    // Waits until standard error holds `count` lines containing `text`;
    // false after `seconds` without.
    bool waitForLines(const std::string& text, int count, int seconds = 30) const;
    // Waits until no process holds the last run's standard error open: what
    // the run started, and what those started, have ended (a run that should
    // not have started has had its say); false after `seconds` without.
    bool waitUntilStandardErrorIsLeft(int seconds = 30) const;

private:
    TempDir root_;
    std::filesystem::path controlGroup_;
};

} // namespace testsupport
