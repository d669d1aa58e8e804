#pragma once

#include "Foundation/ProcessStart.h"

#include <optional>

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

    bool isRegistered() const { return agent_.has_value(); }

private:
    std::optional<ChildProcess> agent_;
};

} // namespace platform
