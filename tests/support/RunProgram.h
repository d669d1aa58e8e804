#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testsupport {

struct ProgramRun {
    int status = -1;     // the exit status; -1 when it did not exit normally
    std::string output;  // standard output and standard error together
};

// Runs a shell command line, offscreen for Qt, and waits for it.
inline ProgramRun runProgram(const std::string& commandLine) {
    ProgramRun run;
    FILE* pipe = popen(("QT_QPA_PLATFORM=offscreen " + commandLine + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, got);
    const int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    return run;
}

// The text as one shell word.
inline std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace testsupport
