// pane-status: loads pane bundles without showing a window, prints the state
// of each payload their interface files describe, and installs or removes one.

#include "KeyText.h"
#include "PayloadAction.h"

#include "PreferencePanes/Preferences/PaneSlot.h"
#include "PrivetTool/PrivetStatusKeys.h"

#include "AppKit/NibLoader.h"
#include "Foundation/CommandLine.h"
#include "PreferencePanes/PaneTrial.h"
#include "PreferencePanes/PreferencePane.h"
#include "objc/AutoreleasePool.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace platform;
using namespace panestatus;

namespace {

const char* const kUsage =
    "usage: pane-status [--json] [--install NAME | --remove NAME] [--dry-run] [--timeout SECONDS] [--verbose]\n"
    "                   PANE.prefPane...\n"
    "\n"
    "Loads each pane bundle without showing a window and prints, for every payload\n"
    "controller in its interface file, the six keys a pane shows. With --install or\n"
    "--remove, first sends Install or Remove to the payload controller of that name\n"
    "(as the pane's buttons do), then waits for the payload to reach the state asked\n"
    "for, and prints. An administrator's password may be asked for: by the session's\n"
    "authentication agent, or else on this terminal. The whole wait, the password\n"
    "included, lasts 30 seconds at most, or --timeout; what is still running then is\n"
    "stopped before anything was done. A payload already in that state is left\n"
    "alone. When the state is not reached (no agent, polkit unreachable, rights\n"
    "refused, the request cancelled, or no change in time), pane-status says why and\n"
    "exits with status 1.\n"
    "\n"
    "  --json          print one JSON object: {\"pane\": {\"payload\": {\"key\": value}}};\n"
    "                  the payload acted on also has \"changed\", \"outcome\" and,\n"
    "                  when it failed, \"reason\"\n"
    "  --install NAME  install the payload controller NAME, or update it where the\n"
    "                  installed copy is not the pane's own (older, newer or damaged)\n"
    "  --remove NAME   remove the payload controller NAME\n"
    "  --dry-run       say what --install or --remove would do, and do nothing\n"
    "  --timeout SECONDS  how long to wait for the outcome of --install or --remove\n"
    "  --verbose       show the install helper's lines (always in the journal)\n"
    "  -h, --help      print this text\n"
    "  --version       print the version\n"
    "\n"
    "Each pane is read in a process of its own: a pane that cannot be loaded or\n"
    "read, or whose code crashes, exits or takes longer than 10 seconds for a step,\n"
    "is reported as failed (\"failed\" in place of its payloads with --json) and the\n"
    "others are still reported.\n"
    "\n"
    "Exit status: 0 when every payload acted on is in the state asked for, whether\n"
    "or not anything changed; 1 when one is not, or a pane failed, or the payload\n"
    "controller cannot be found; 2 for bad usage.\n";

struct Options {
    bool json = false;
    bool dryRun = false;
    bool verbose = false;
    std::optional<Action> action;
    std::string target;
    double timeout = 30;
    std::vector<std::string> panes;
};

// Reads the command line; what is wrong with it, or nothing.
std::string parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--json") {
            options.json = true;
        } else if (argument == "--dry-run") {
            options.dryRun = true;
        } else if (argument == "--verbose") {
            options.verbose = true;
        } else if (argument == "--install" || argument == "--remove") {
            if (options.action) return "only one of --install and --remove may be given";
            if (i + 1 >= argc) return argument + " needs the name of a payload controller";
            options.action = argument == "--install" ? Action::Install : Action::Remove;
            options.target = argv[++i];
        } else if (argument == "--timeout") {
            if (i + 1 >= argc) return "--timeout needs a number of seconds";
            char* end = nullptr;
            options.timeout = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(options.timeout >= 0)) {
                return "--timeout needs a number of seconds, not \"" + std::string(argv[i]) + "\"";
            }
        } else if (argument.starts_with("--")) {
            return "unknown option " + argument;
        } else {
            options.panes.push_back(argument);
        }
    }
    return options.panes.empty() ? "no pane bundle named" : "";
}

const char* actionName(Action action) { return action == Action::Install ? "Install" : "Remove"; }

// Says what an action did: on standard error when it failed, else (in text
// output) on standard output ahead of the state.
void reportOutcome(const std::string& name, Action action, const Outcome& outcome, bool json) {
    if (outcome.failed()) {
        std::fprintf(stderr, "pane-status: %s: %s did not complete: %s\n", name.c_str(), actionName(action),
                     outcome.reason.c_str());
    } else if (!json) {
        std::printf("%s: %s%s%s\n", name.c_str(), outcome.word.c_str(), outcome.reason.empty() ? "" : ": ",
                    outcome.reason.c_str());
    }
}

constexpr const char* kDamageKey = "payloadInstalledCopyDamage";

// "    KEY  VALUE", the key in a column of its own.
std::string keyLine(Object& controller, const char* key) {
    char name[64];
    std::snprintf(name, sizeof name, "    %-31s ", key);
    return name + valueText(controller, key) + "\n";
}

void addOutcome(QJsonObject& payload, const Outcome& outcome) {
    payload.insert("changed", outcome.changed);
    payload.insert("outcome", QString::fromStdString(outcome.word));
    if (outcome.failed()) payload.insert("reason", QString::fromStdString(outcome.reason));
}

// What pane-status prints of one pane, gathered whole before any of it is
// printed, so that a pane that cannot be read leaves no half report.
struct PaneReport {
    std::string name;
    std::string text;
    QJsonObject json;
    std::string failure;  // why the pane could not be loaded or read
};

// Loads the pane at `path`, acts on the target payload when it has it, and
// reports its payloads; false (said on standard error) when it cannot be
// loaded or read, or the action failed.
bool reportPane(const std::string& path, const Options& options, bool& acted, PaneReport& report, TrialSteps& steps) {
    PaneSlot slot(path);
    if (!slot.load([&](std::string_view step) { steps.begin(step); })) {
        report.failure = slot.error();
        std::fprintf(stderr, "pane-status: %s: %s\n", path.c_str(), report.failure.c_str());
        return false;
    }
    bool succeeded = true;
    const LoadedNib* nib = slot.pane()->loadedNib();
    std::optional<Outcome> outcome;
    if (options.action && nib) {
        if (Object* target = nib->objectNamed(options.target); target && isPayloadController(*target)) {
            acted = true;
            // The action's own wait is bounded by --timeout; the step by a little more.
            // --timeout may be "inf": no step is bounded beyond a day.
            const auto bound = std::chrono::seconds(static_cast<long long>(std::min(options.timeout, 86400.0))) +
                               kPaneStepBound;
            steps.begin(std::string(*options.action == Action::Install ? "installing " : "removing ") + options.target,
                        bound);
            outcome = bringToState(*target, *options.action, options.timeout, options.dryRun, options.verbose);
            reportOutcome(options.target, *options.action, *outcome, options.json);
            succeeded = !outcome->failed();
        }
    }
    steps.begin("being read");
    report.name = slot.name();
    report.text = slot.name() + " (" + path + ")\n";
    if (nib == nullptr) return succeeded;
    for (const auto& [name, object] : nib->namedObjects()) {
        if (!isPayloadController(*object)) continue;
        QJsonObject payload;
        report.text += "  " + name + "\n";
        for (const char* key : kPrivetStatusKeys) {
            if (options.json) {
                payload.insert(key, valueJson(*object, key));
            } else {
                report.text += keyLine(*object, key);
            }
        }
        // Said only of a copy that is damaged.
        if (object->objectClass().getterForKey(kDamageKey) && object->valueForKey(kDamageKey)) {
            if (options.json) {
                payload.insert(kDamageKey, valueJson(*object, kDamageKey));
            } else {
                report.text += keyLine(*object, kDamageKey);
            }
        }
        if (outcome && name == options.target) addOutcome(payload, *outcome);
        report.json.insert(QString::fromStdString(name), payload);
    }
    return succeeded;
}


// In a process of the pane's own: its report, for the process that prints
// it, as {"succeeded", "acted", "name", "text", "json"}.
std::string reportPaneAlone(const std::string& path, const Options& options, int argc, char** argv,
                            TrialSteps& steps) {
    QApplication application(argc, argv);
    PaneReport report;
    bool acted = false;
    bool succeeded = false;
    // A pane's own code may raise where nothing of it catches; that ends
    // the report of that pane, not of the others.
    try {
        succeeded = reportPane(path, options, acted, report, steps);
    } catch (const std::exception& error) {
        report = {};
        report.failure = std::string("cannot be read: ") + error.what();
        std::fprintf(stderr, "pane-status: %s: %s\n", path.c_str(), report.failure.c_str());
    }
    std::fflush(nullptr);  // this process ends without running exit handlers
    QJsonObject out;
    out.insert("succeeded", succeeded);
    out.insert("acted", acted);
    out.insert("name", QString::fromStdString(report.name));
    out.insert("text", QString::fromStdString(report.text));
    out.insert("json", report.json);
    out.insert("failure", QString::fromStdString(report.failure));
    return QJsonDocument(out).toJson(QJsonDocument::Compact).toStdString();
}

// The name a pane that failed is reported under: its bundle's, as far as
// that can be read without its code.
std::string nameOfPaneAt(const std::string& path) {
    AutoreleasePool pool;
    try {
        return PaneSlot(path).name();
    } catch (const std::exception&) {
        return std::filesystem::path(path).filename().replace_extension().string();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = answerInformationRequest(argc, argv, "pane-status", kUsage)) return *status;
    Options options;
    if (const std::string problem = parse(argc, argv, options); !problem.empty()) {
        std::fputs(badUsageText("pane-status", problem).c_str(), stderr);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    int status = 0;
    bool acted = !options.action;
    bool anyFailed = false;
    QJsonObject panes;
    for (const std::string& path : options.panes) {
        // No Qt application here: this process stays one thread, from which
        // each pane's process is forked.
        TrialOptions alone;
        alone.ownProcessGroup = false;  // a password may be asked on this terminal
        alone.quiet = false;
        const TrialEnd end = runInProcessOfItsOwn(
            [&](TrialSteps& steps) { return reportPaneAlone(path, options, argc, argv, steps); }, alone);
        if (!end.finished) {
            std::fprintf(stderr, "pane-status: %s: %s\n", path.c_str(), end.failure.c_str());
            if (options.json) panes.insert(QString::fromStdString(nameOfPaneAt(path)), QJsonObject{{"failed", QString::fromStdString(end.failure)}});
            status = 1;
            anyFailed = true;
            continue;
        }
        const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(end.result)).object();
        if (!report.value("succeeded").toBool()) status = 1;
        if (report.value("acted").toBool()) acted = true;
        // Said on standard error by the pane's process; the JSON holds it too.
        if (const QString failure = report.value("failure").toString(); !failure.isEmpty()) {
            if (options.json) panes.insert(QString::fromStdString(nameOfPaneAt(path)), QJsonObject{{"failed", failure}});
            continue;
        }
        const std::string name = report.value("name").toString().toStdString();
        if (name.empty()) continue;
        if (options.json) panes.insert(QString::fromStdString(name), report.value("json").toObject());
        else std::fputs(report.value("text").toString().toStdString().c_str(), stdout);
    }
    if (options.json) std::printf("%s\n", QJsonDocument(panes).toJson(QJsonDocument::Compact).constData());
    // A pane that failed may have held it; that failure was said.
    if (!acted && !anyFailed) {
        std::fprintf(stderr, "pane-status: no payload controller is named \"%s\"\n", options.target.c_str());
        return 1;
    }
    return acted ? status : 1;
}
