#include "AppKit/ActionBoundary.h"

#include "AppKit/Alert.h"
#include "Foundation/Exception.h"
#include "Foundation/Log.h"
#include "Foundation/String.h"
#include "objc/AutoreleasePool.h"

#include <exception>
#include <optional>
#include <string>

namespace platform {
namespace {

void logFailure(std::string_view what, const EscapedException& failure);

} // namespace

std::optional<EscapedException> runCatching(const std::function<void()>& work) {
    try {
        AutoreleasePool pool;
        work();
        return std::nullopt;
    } catch (const RaisedException& raised) {
        return EscapedException{raised.name() ? raised.name()->text() : "(null)",
                       raised.reason() ? raised.reason()->text() : "(null)"};
    } catch (const std::exception& error) {
        return EscapedException{"C++ exception", error.what()};
    } catch (...) {
        return EscapedException{"unknown exception", "(no description)"};
    }
}

namespace {

void logFailure(std::string_view what, const EscapedException& failure) {
    NSLog("*** %s raised %s: %s", std::string(what).c_str(), failure.name.c_str(), failure.reason.c_str());
}

} // namespace

bool runLogged(std::string_view what, const std::function<void()>& work) {
    const std::optional<EscapedException> failure = runCatching(work);
    if (failure) logFailure(what, *failure);
    return !failure;
}

bool runAtActionBoundary(std::string_view what, const std::function<void()>& work) {
    const std::optional<EscapedException> failure = runCatching(work);
    if (!failure) return true;
    logFailure(what, *failure);
    runLogged("showing an alert", [&] {
        Ref<Alert> alert = make<Alert>();
        alert->setMessageText(make<String>("The action \"" + std::string(what) + "\" could not be completed.").get());
        alert->setInformativeText(make<String>(failure->reason + " (" + failure->name + ")").get());
        alert->runModal();
    });
    return false;
}

bool sendAction(std::string_view selector, Object* target, Object* sender) {
    if (target == nullptr) return false;
    Ref<Object> keep(target);  // the action may release the last other reference
    return runAtActionBoundary(selector, [&] { target->performSelector(selector, sender); });
}

} // namespace platform
