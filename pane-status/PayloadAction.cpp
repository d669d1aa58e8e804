#include "PayloadAction.h"

#include "KeyText.h"
#include "PrivetTool/PrivetStatusKeys.h"

#include "CoreServices/MacErrors.h"
#include "Foundation/Exception.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"
#include "Foundation/RunLoop.h"

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <vector>

using namespace platform;

namespace panestatus {
namespace {

// Installed and up to date, or not installed.
bool reached(Object& controller, Action action) {
    const bool install = action == Action::Install;
    const Ref<Object> value = controller.valueForKey(install ? "payloadInstalledAndUpToDate" : "payloadInstalled");
    const Number* number = objectAs<Number>(value.get());
    return (number && number->boolValue()) == install;
}

// Everything the pane shows about the payload.
std::vector<std::string> snapshot(Object& controller) {
    std::vector<std::string> values;
    for (const char* key : kPrivetStatusKeys) values.push_back(valueText(controller, key, false));
    return values;
}

// How the helper that the action started ended, as its install controller
// recorded it; absent when the action started none.
std::optional<int> helperStatus(Object& controller) {
    if (!controller.objectClass().getterForKey("privetToolController")) return std::nullopt;
    const Ref<Object> tool = controller.valueForKey("privetToolController");
    if (!tool || !tool->objectClass().getterForKey("helperTerminationStatus")) return std::nullopt;
    const Ref<Object> status = tool->valueForKey("helperTerminationStatus");
    const Number* number = objectAs<Number>(status.get());
    return number ? std::optional<int>(static_cast<int>(number->integerValue())) : std::nullopt;
}

std::string whyTheHelperFailed(int status) {
    if (status == (errAuthorizationCanceled & 0xff)) return "the administrator's password was not given";
    if (status == (errAuthorizationDenied & 0xff)) return "administrator rights were refused";
    return "the install helper ended with status " + std::to_string(status);
}

// Sends the action and waits for its outcome. Why the payload did not reach
// the state asked for, or nothing.
std::optional<std::string> act(Object& controller, Action action, double seconds) {
    const bool install = action == Action::Install;
    controller.performSelector(install ? "installPayload:" : "removePayload:", nullptr);
    const std::optional<int> status = helperStatus(controller);
    if (status && *status != 0) return whyTheHelperFailed(*status);
    const auto shows = [&] {
        return "the pane shows \"" + valueText(controller, "payloadSystemSummary", false) + "\"";
    };
    const double deadline = RunLoop::now() + seconds;
    while (!reached(controller, action)) {
        // Without a helper nothing is going to change.
        if (!status) return std::string(install ? "Install" : "Remove") + " started nothing; " + shows();
        if (RunLoop::now() >= deadline) {
            char waited[32];
            std::snprintf(waited, sizeof waited, "%g", seconds);
            return std::string("no change within ") + waited + " seconds; " + shows();
        }
        usleep(250 * 1000);
    }
    return std::nullopt;
}

} // namespace

bool isPayloadController(const Object& object) {
    return object.objectClass().getterForKey("payloadSystemSummary") != nullptr &&
           object.respondsToSelector("installPayload:");
}

Outcome bringToState(Object& controller, Action action, double seconds, bool dryRun) {
    const bool install = action == Action::Install;
    // Left alone and said so: a run repeated by a configuration tool must be
    // able to tell "already so" from "made so".
    if (reached(controller, action)) {
        return {"unchanged", false, install ? "already installed and up to date" : "not installed"};
    }
    if (dryRun) return {install ? "would install" : "would remove", true, ""};

    const std::vector<std::string> before = snapshot(controller);
    std::optional<std::string> why;
    try {
        why = act(controller, action, seconds);
    } catch (const RaisedException& failure) {
        why = failure.what();
    }
    if (why) return {"failed", snapshot(controller) != before, *why};
    // Not in the state asked for before, and in it now.
    return {install ? "installed" : "removed", true, ""};
}

} // namespace panestatus
