#pragma once

#include "objc/Object.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Where user-interface work meets the code it calls: an exception that
// escapes the work is caught, logged with NSLog and shown in an alert, and
// the application goes on.

// What escaped a piece of work: the exception's name and reason.
struct EscapedException {
    std::string name;
    std::string reason;
    // "name: reason"
    std::string text() const { return name + ": " + reason; }
};

// Runs the work inside an autorelease pool; what escapes it is described,
// never passed on.
std::optional<EscapedException> runCatching(const std::function<void()>& work);

// Sends `selector` to `target` with `sender` as argument, inside an
// autorelease pool. False when it raised (or the target was null).
bool sendAction(std::string_view selector, Object* target, Object* sender);

// Runs other work at the same boundary; `what` names it in the log line and
// the alert (for example "setValue:forKey: payloadInstalled").
bool runAtActionBoundary(std::string_view what, const std::function<void()>& work);

// Only logs: for work that runs unasked and repeatedly (timer ticks, key
// re-reads), where an alert each time would bury the user.
bool runLogged(std::string_view what, const std::function<void()>& work);

} // namespace platform
