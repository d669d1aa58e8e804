#include "HelperTool.h"

#include "RunReport.h"

#include "HelperSteps.h"
#include "LocationLock.h"
#include "PrivilegedRunChecks.h"
#include "RunFence.h"
#include "PrivetTool/PrivetToolConst.h"

#include "Foundation/Exception.h"
#include "Foundation/FileManager.h"
#include "Foundation/Log.h"
#include "Foundation/SystemCall.h"
#include "Foundation/RootOnlyPath.h"
#include "Foundation/Task.h"
#include "Foundation/Thread.h"
#include "Security/ControlGroup.h"
#include "objc/AutoreleasePool.h"

#include <sys/stat.h>
#include <unistd.h>

using platform::NSLogEscaped;
using platform::Ref;
using platform::String;
using platform::Task;

namespace {

// One argument entry as a string; "(NULL)" for an absent entry. Text that
// is not UTF-8 gives no string.
Ref<String> argString(const char* entry) {
    if (entry == nullptr) return platform::make<String>("(NULL)");
    return String::stringWithUTF8String(entry);
}

bool folderPathNameExists(const String* path) {
    return path != nullptr && !platform::sys::access(path->UTF8String(), F_OK).isError();
}

bool isSymbolicLink(const String* path) {
    const platform::ErrorOr<struct stat> status = platform::sys::lstat(path->UTF8String());
    return !status.isError() && S_ISLNK(status.value().st_mode);
}

// Polls once a second, the first time after one second.
void sleepUntilTaskExits(const Task* task) {
    if (task == nullptr) return;
    do {
        platform::Thread::sleepForTimeInterval(1.0);
    } while (task->isRunning());
}

// Runs one step and waits for it; a command that cannot be started is
// logged and skipped. Whether it ran and succeeded.
bool startAndAwait(const HelperIdentity& identity, const StepCommand& step) {
    if (step.inProcess) return step.inProcess();
    Ref<Task> task;
    try {
        // A step never outlives its run, however the run ends.
        task = Task::launchedTaskWithLaunchPath_arguments(step.program.get(), step.arguments.get(), true);
    } catch (const platform::RaisedException& failure) {
        NSLogEscaped("%s could not start %@: %@", identity.name, step.program, failure.reason());
    }
    if (!task) return false;
    if (step.polled) sleepUntilTaskExits(task.get());
    else task->waitUntilExit();
    return task->terminationStatus() == 0;
}

// The Library folder that holds `destination`.
std::optional<std::string> libraryFolderOf(const String* destination) {
    const platform::LibraryFolders folders =
        platform::FileManager::libraryFolders(platform::NSLocalDomainMask | platform::NSSystemDomainMask);
    for (const std::optional<std::string>& folder : {folders.local, folders.system}) {
        if (folder && destination->text().starts_with(*folder + "/")) return folder;
    }
    return std::nullopt;
}

// A run whose steps are real ones, not a stand-in's, takes turns with the
// other runs for its location and is fenced before its first step.
bool stepsAreReal(const HelperEnvironment& environment) { return !environment.runStep; }

// Before it takes its turn, the run leaves the control group its caller
// chose: whoever owns that group could freeze the run while it holds the
// location, or kill it halfway.
bool leaveCallersControlGroup(const HelperIdentity& identity) {
    const std::string unit = "privet-" + std::string(identity.name) + "-" + std::to_string(getpid()) + ".scope";
    const platform::ControlGroupMove move = platform::leaveCallersControlGroup(unit, "privet");
    if (!move.failure.empty()) {
        NSLogEscaped("%s cannot leave its caller's control group: %s; nothing was done", identity.name,
                     move.failure.c_str());
        noteRunFailure("it could not leave its caller's control group: " + move.failure);
        return false;
    }
    if (move.road == platform::ControlGroupMove::Road::Nowhere) {
        NSLogEscaped("%s stays in its caller's control group: this system has neither systemd nor a cgroup2 hierarchy",
                     identity.name);
    }
    return true;
}

bool fence(const HelperIdentity& identity, const String* destination, const std::string& source = {}) {
    const std::optional<std::string> library = libraryFolderOf(destination);
    if (!library) {
        NSLogEscaped("%s finds no Library folder holding %@; nothing was done", identity.name, destination);
        noteRunFailure("no Library folder holds " + destination->text());
        return false;
    }
    return fenceRun(identity, *library, destination->stringByDeletingLastPathComponent()->text(), source);
}

// Fails with why the privileged run will not work in the folder of `destination`.
platform::ErrorOr<void> folderIsAccepted(const HelperEnvironment& environment, const String* destination) {
    const std::string folder = destination->stringByDeletingLastPathComponent()->text();
    return environment.onlyRootCanChange ? environment.onlyRootCanChange(folder) : platform::onlyRootCanChange(folder);
}

// The report of a run that acts for real as root; none for a run of
// stand-in steps, or one that could not write it anyway.
std::optional<RunReport> reportOf(const HelperIdentity& identity, const HelperEnvironment& environment,
                                  const String* location, const String* destination) {
    if (!stepsAreReal(environment) || geteuid() != 0) return std::nullopt;
    return std::optional<RunReport>(std::in_place, identity, runRequester(), location, destination);
}

// Logs and records a refusal to `act` ("install", "delete") on `subject`.
void refuse(const HelperIdentity& identity, const char* act, const String* subject, const platform::Failure& refusal) {
    const std::string why = refusal.describe();
    NSLogEscaped("%s refused to %s %@: %s", identity.name, act, subject, why.c_str());
    noteRunFailure("refused: " + why);
}

void install(const HelperIdentity& identity, const HelperEnvironment& environment, const StepRunner& runStep,
             const String* location, const String* source, const String* destination) {
    if (source == nullptr || destination == nullptr) return;
    const std::string bundle = environment.ownBundle.empty() ? ownBundlePath() : environment.ownBundle;
    // Where the source lies is judged before it is looked up: whether a path
    // elsewhere exists is nobody's business.
    if (const platform::ErrorOr<std::optional<std::string>> place = placeOfSource(source->text(), bundle);
        place.isError() || !place.value()) {
        if (place.isError()) refuse(identity, "install", source, place.error());
        return;
    }
    if (!folderPathNameExists(source)) return;
    LocationLock turn;
    if (stepsAreReal(environment) && (!leaveCallersControlGroup(identity) || !turn.take(identity, location))) return;
    if (isSymbolicLink(destination)) {
        NSLogEscaped("%s destination is a symbolic link, left as it is: %@", identity.name, destination);
        noteRunFailure("refused: " + destination->text() + " is a symbolic link");
        return;
    }
    const platform::ErrorOr<std::string> judged = judgeSource(source->text(), bundle);
    if (judged.isError()) {
        refuse(identity, "install", source, judged.error());
        return;
    }
    const std::string& resolved = judged.value();
    if (const platform::ErrorOr<void> accepted = folderIsAccepted(environment, destination); accepted.isError()) {
        refuse(identity, "install into", destination, accepted.error());
        return;
    }
    (void)platform::sys::setuid(0);
    if (stepsAreReal(environment) && !fence(identity, destination, resolved)) return;
    const Ref<String> resolvedSource = platform::make<String>(resolved);
    for (const StepCommand& step : installCommands(identity.name, resolvedSource.get(), destination)) {
        if (runStep(step) || !step.discardOnFailure) continue;
        if (!step.inProcess) {
            NSLogEscaped("%s %@ failed; nothing was installed at %@", identity.name, step.program, destination);
        }
        noteRunFailure(whyTheStepFailed(step.program->text(), resolved, destination->text()));
        runStep(discardCommand(step.discardOnFailure.get()));
        return;
    }
}

// Stops at the first step that fails: before the installed copy has left its
// name nothing is deleted, after it what is left lies in a room the next
// run discards.
void removeSteps(const HelperIdentity& identity, const StepRunner& runStep, const String* destination) {
    for (const StepCommand& step : removeCommands(identity.name, destination)) {
        if (runStep(step)) continue;
        noteRunFailure(whyTheStepFailed(step.program->text(), {}, destination->text()));
        if (step.discardOnFailure) {
            runStep(discardCommand(step.discardOnFailure.get()));
        } else if (!step.inProcess) {
            NSLogEscaped("%s %@ failed; %@ is no longer installed, and the next run discards what is left of it",
                         identity.name, step.program, destination);
        }
        return;
    }
}

void remove(const HelperIdentity& identity, const HelperEnvironment& environment, const StepRunner& runStep,
            const String* location, const String* destination) {
    if (destination == nullptr) return;
    LocationLock turn;
    if (stepsAreReal(environment) && (!leaveCallersControlGroup(identity) || !turn.take(identity, location))) return;
    if (!folderPathNameExists(destination)) return;
    if (const platform::ErrorOr<void> accepted = folderIsAccepted(environment, destination); accepted.isError()) {
        refuse(identity, "delete", destination, accepted.error());
        return;
    }
    (void)platform::sys::setuid(0);
    if (stepsAreReal(environment) && !fence(identity, destination)) return;
    removeSteps(identity, runStep, destination);
}

} // namespace

int runInstallHelper(const HelperIdentity& identity, int argc, const char* const argv[],
                     const HelperEnvironment& environment) {
    platform::AutoreleasePool pool;
    const StepRunner run = environment.runStep
                               ? environment.runStep
                               : [&identity](const StepCommand& step) { return startAndAwait(identity, step); };
    NSLogEscaped("%s started BUILD %s", identity.name, identity.buildStamp);

    if (argc == ARGUMENT_COUNT) {
        NSLogEscaped("%s (argc == ARGUMENT_COUNT)", identity.name);
        NSLogEscaped("%s executing self-repair", identity.name);
        if (const int status = performSelfRepair(identity, argv); status != 0) return status;
    } else if (argc > ARGUMENT_COUNT) {
        // First of all: nothing this run makes may be writable by others,
        // whatever mask its caller left it.
        umask(022);
        NSLogEscaped("%s (argc > ARGUMENT_COUNT)", identity.name);
        Ref<String> entries[6];
        for (int i = 0; i < 6; ++i) entries[i] = argString(argv[i]);
        NSLogEscaped("%s argv0:%@ \n", identity.name, entries[0]);
        NSLogEscaped("%s argv1:%@ \n", identity.name, entries[1]);
        NSLogEscaped("%s argv2:%@ \n", identity.name, entries[2]);
        NSLogEscaped("%s command:%@ \n", identity.name, entries[3]);
        NSLogEscaped("%s location:%@ \n", identity.name, entries[4]);
        NSLogEscaped("%s payload:%@ \n", identity.name, entries[5]);
        const String* command = entries[3].get();
        const String* source = entries[5].get();
        Ref<String> destination = PrivetTool::destinationWithLocationName_sourcePath(entries[4].get(), source);
        NSLogEscaped("%s destination:%@ \n", identity.name, destination);

        if (command && command->isEqualToString(kPrivetTool_Command_Install)) {
            NSLogEscaped("%s executing %@\n", identity.name, command);
            const std::optional<RunReport> report = reportOf(identity, environment, entries[4].get(), destination.get());
            install(identity, environment, run, entries[4].get(), source, destination.get());
        }
        if (command && command->isEqualToString(kPrivetTool_Command_Delete)) {
            NSLogEscaped("%s executing %@\n", identity.name, command);
            const std::optional<RunReport> report = reportOf(identity, environment, entries[4].get(), destination.get());
            remove(identity, environment, run, entries[4].get(), destination.get());
            NSLogEscaped("%s done with %@: ?", identity.name, command);
        }
    }

    NSLogEscaped("%s exiting", identity.name);
    return 0;
}
