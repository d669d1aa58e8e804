// pane-status: loads pane bundles without showing a window, prints the state
// of each payload their interface files describe, and installs or removes one.

#include "PreferencePanes/Preferences/PaneSlot.h"
#include "PrivetTool/PrivetStatusKeys.h"

#include "AppKit/NibLoader.h"
#include "Foundation/Exception.h"
#include "Foundation/Number.h"
#include "Foundation/RunLoop.h"
#include "CoreServices/MacErrors.h"
#include "Foundation/String.h"
#include "PreferencePanes/PreferencePane.h"

#include <QApplication>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace platform;

namespace {

const char* const kUsage =
    "usage: pane-status [--json] [--install NAME | --remove NAME] [--timeout SECONDS] PANE.prefPane...\n"
    "\n"
    "Loads each pane bundle without showing a window and prints, for every payload\n"
    "controller in its interface file, the six keys a pane shows. With --install or\n"
    "--remove, first sends Install or Remove to the payload controller of that name\n"
    "(as the pane's buttons do; an administrator's password may be asked for), then\n"
    "waits (30 seconds at most, or --timeout) for the payload to reach the state asked\n"
    "for, and prints. When it does not (rights refused, the password not given, or no\n"
    "change in time), pane-status says why and exits with status 1.\n"
    "\n"
    "  --json          print one JSON object: {\"pane\": {\"payload\": {\"key\": value}}}\n"
    "  --install NAME  install the payload controller NAME\n"
    "  --remove NAME   remove the payload controller NAME\n"
    "  --timeout SECONDS  how long to wait for the outcome of --install or --remove\n"
    "  --help          print this text\n";

struct Options {
    bool json = false;
    std::string action;  // "installPayload:" or "removePayload:"
    std::string target;
    double timeout = 30;
    std::vector<std::string> panes;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (argument == "--json") {
            options.json = true;
        } else if ((argument == "--install" || argument == "--remove") && i + 1 < argc && options.action.empty()) {
            options.action = argument == "--install" ? "installPayload:" : "removePayload:";
            options.target = argv[++i];
        } else if (argument == "--timeout" && i + 1 < argc) {
            char* end = nullptr;
            options.timeout = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || options.timeout < 0) return false;
        } else if (argument.starts_with("--")) {
            return false;
        } else {
            options.panes.push_back(argument);
        }
    }
    return !options.panes.empty();
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

bool isPayloadController(const Object& object) {
    return object.objectClass().getterForKey("payloadSystemSummary") != nullptr &&
           object.respondsToSelector("installPayload:");
}

// A key's value as text (JSON: as a JSON value).
std::string valueText(Object& controller, const char* key, bool json) {
    Ref<Object> value = controller.valueForKey(key);
    if (const Number* number = objectAs<Number>(value.get())) {
        return number->boolValue() ? (json ? "true" : "YES") : (json ? "false" : "NO");
    }
    if (!value) return json ? "null" : "(absent)";
    const std::string text = value->description()->text();
    return json ? jsonString(text) : text;
}

// Whether the payload is in the state asked for: installed and up to date,
// or not installed.
bool reached(Object& controller, bool install) {
    const Ref<Object> value = controller.valueForKey(install ? "payloadInstalledAndUpToDate" : "payloadInstalled");
    const Number* number = objectAs<Number>(value.get());
    return (number && number->boolValue()) == install;
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

// Sends Install or Remove and waits (at most `seconds`) for the outcome,
// which the helper's privileged run brings about after the action has
// returned. Why the payload did not reach the state asked for, or nothing.
std::optional<std::string> act(Object& controller, const std::string& action, double seconds) {
    const bool install = action == "installPayload:";
    controller.performSelector(action, nullptr);
    const std::optional<int> status = helperStatus(controller);
    if (status && *status != 0) return whyTheHelperFailed(*status);
    const auto shows = [&] {
        return "the pane shows \"" + valueText(controller, "payloadSystemSummary", false) + "\"";
    };
    const double deadline = RunLoop::now() + seconds;
    while (!reached(controller, install)) {
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

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    int status = 0;
    bool acted = options.action.empty();
    std::string json = "{";
    for (const std::string& path : options.panes) {
        PaneSlot slot(path);
        if (!slot.load()) {
            std::fprintf(stderr, "pane-status: %s: %s\n", path.c_str(), slot.error().c_str());
            status = 1;
            continue;
        }
        const LoadedNib* nib = slot.pane()->loadedNib();
        if (!options.action.empty() && nib) {
            if (Object* target = nib->objectNamed(options.target); target && isPayloadController(*target)) {
                acted = true;
                try {
                    if (const std::optional<std::string> why = act(*target, options.action, options.timeout)) {
                        std::fprintf(stderr, "pane-status: %s: %s did not complete: %s\n", options.target.c_str(),
                                     options.action == "installPayload:" ? "Install" : "Remove", why->c_str());
                        status = 1;
                    }
                } catch (const RaisedException& failure) {
                    std::fprintf(stderr, "pane-status: %s %s: %s\n", options.target.c_str(), options.action.c_str(),
                                 failure.what());
                    status = 1;
                }
            }
        }
        if (options.json) json += (json.size() > 1 ? ", " : "") + jsonString(slot.name()) + ": {";
        else std::printf("%s (%s)\n", slot.name().c_str(), path.c_str());
        bool first = true;
        if (nib == nullptr) continue;
        for (const auto& [name, object] : nib->namedObjects()) {
            if (!isPayloadController(*object)) continue;
            if (options.json) {
                json += std::string(first ? "" : ", ") + jsonString(name) + ": {";
                bool firstKey = true;
                for (const char* key : kPrivetStatusKeys) {
                    json += std::string(firstKey ? "" : ", ") + jsonString(key) + ": " + valueText(*object, key, true);
                    firstKey = false;
                }
                json += "}";
            } else {
                std::printf("  %s\n", name.c_str());
                for (const char* key : kPrivetStatusKeys)
                    std::printf("    %-31s %s\n", key, valueText(*object, key, false).c_str());
            }
            first = false;
        }
        if (options.json) json += "}";
    }
    if (options.json) std::printf("%s}\n", json.c_str());
    if (!acted) {
        std::fprintf(stderr, "pane-status: no payload controller is named \"%s\"\n", options.target.c_str());
        return 1;
    }
    return status;
}
