// Brings one payload to the state asked for, as the pane's Install and Remove
// buttons do, and says what that did.
#pragma once

#include "objc/Object.h"

#include <string>

namespace panestatus {

enum class Action { Install, Remove };

struct Outcome {
    // "installed", "removed", "unchanged" or "failed"; with a dry run,
    // "would install" or "would remove" instead of acting.
    std::string word;
    bool changed = false;  // whether the payload's state differs from before
    // Why it failed, or why nothing needed doing.
    std::string reason;

    bool failed() const { return word == "failed"; }
};

// Whether `object` controls a payload: a pane's Install and Remove act on it.
bool isPayloadController(const platform::Object& object);

// Sends Install or Remove unless the payload is already in the state asked
// for, then waits for the outcome, which the helper's privileged run brings
// about after the action has returned. `seconds` bound the whole of it, the
// password asked for included. The helper's lines reach standard error only
// when `verbose`.
Outcome bringToState(platform::Object& controller, Action action, double seconds, bool dryRun, bool verbose);

} // namespace panestatus
