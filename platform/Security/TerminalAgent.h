#pragma once

#include <sys/types.h>

namespace platform {

// polkit's text agent for this process on its controlling terminal, for as
// long as this object lives: what system tools start for themselves when
// they run on a terminal. A pkexec that this process starts then asks for
// the password on the terminal. It is registered as a fallback, so an agent
// the session already has (a desktop's dialog) still does the asking.
// Without a controlling terminal, or without pkttyagent, it starts nothing.
class TerminalAgent {
public:
    TerminalAgent();
    ~TerminalAgent();
    TerminalAgent(const TerminalAgent&) = delete;
    TerminalAgent& operator=(const TerminalAgent&) = delete;

    bool isRegistered() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
};

} // namespace platform
