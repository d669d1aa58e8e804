#include "PayloadAction.h"

#include "ActionBounds.h"
#include "KeyText.h"
#include "PrivetTool/PrivetHelperOutcome.h"
#include "PrivetTool/PrivetStatusKeys.h"

#include "Foundation/Exception.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"
#include "Foundation/RunLoop.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

using namespace platform;

namespace panestatus {
namespace {

bool isInstalled(Object& controller) {
    const Ref<Object> value = controller.valueForKey("payloadInstalled");
    const Number* number = objectAs<Number>(value.get());
    return number && number->boolValue();
}

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
    for (const char* key : kPrivetStatusKeys) values.push_back(valueText(controller, key));
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

// Why the privileged run of this request failed, once it has said so.
std::optional<std::string> runFailure(Object& controller) {
    if (!controller.objectClass().getterForKey("payloadRunFailure")) return std::nullopt;
    const Ref<Object> failure = controller.valueForKey("payloadRunFailure");
    if (!failure) return std::nullopt;
    return failure->description()->text();
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// Sends the action and waits for its outcome, the password asked for
// included, for `seconds` at most. Why the payload did not reach the state
// asked for, or nothing.
std::optional<std::string> act(Object& controller, Action action, bool update, double seconds, bool verbose) {
    const bool install = action == Action::Install;
    const double deadline = RunLoop::now() + seconds;
    {
        const HelperLinesQuieted quiet(verbose);
        const ActionDeadline bound(seconds);
        controller.performSelector(update ? "updatePayload:" : install ? "installPayload:" : "removePayload:", nullptr);
        if (bound.expired()) {
            return "no outcome within " + secondsText(seconds) +
                   " seconds; what it had started was stopped before anything was done";
        }
    }
    const std::optional<int> status = helperStatus(controller);
    if (status && *status != 0) return whyTheHelperFailed(*status);
    const auto shows = [&] {
        return "the pane shows \"" + valueText(controller, "payloadSystemSummary") + "\"";
    };
    while (!reached(controller, action)) {
        // The privileged run says why it failed as soon as it has ended.
        if (const std::optional<std::string> failure = runFailure(controller)) return *failure;
        // Without a helper nothing is going to change.
        if (!status) return std::string(update ? "Update" : install ? "Install" : "Remove") + " started nothing; " + shows();
        if (RunLoop::now() >= deadline) return "no change within " + secondsText(seconds) + " seconds; " + shows();
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return std::nullopt;
}

} // namespace

bool isPayloadController(const Object& object) {
    return object.objectClass().getterForKey("payloadSystemSummary") != nullptr &&
           object.respondsToSelector("installPayload:");
}

Outcome bringToState(Object& controller, Action action, double seconds, bool dryRun, bool verbose) {
    const bool install = action == Action::Install;
    // Left alone and said so: a run repeated by a configuration tool must be
    // able to tell "already so" from "made so".
    if (reached(controller, action)) {
        return {"unchanged", false, install ? "already installed and up to date" : "not installed"};
    }
    // An installed copy that is not the bundled one (older, newer or
    // damaged) is brought to it by installing over it.
    const bool update = install && isInstalled(controller) && controller.respondsToSelector("updatePayload:");
    if (dryRun) return {update ? "would update" : install ? "would install" : "would remove", true, ""};

    const std::vector<std::string> before = snapshot(controller);
    std::optional<std::string> why;
    try {
        why = act(controller, action, update, seconds, verbose);
    } catch (const RaisedException& failure) {
        why = failure.what();
    }
    if (why) return {"failed", snapshot(controller) != before, *why};
    // Not in the state asked for before, and in it now.
    return {update ? "updated" : install ? "installed" : "removed", true, ""};
}

} // namespace panestatus
