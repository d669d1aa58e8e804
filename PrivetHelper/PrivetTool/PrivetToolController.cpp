#include "PrivetTool/PrivetToolController.h"

#include "Foundation/Bundle.h"
#include "Foundation/Dictionary.h"
#include "Foundation/Exception.h"
#include "Foundation/FileManager.h"
#include "Foundation/Log.h"
#include "Foundation/Number.h"
#include "Foundation/Thread.h"
#include "objc/KeyValueObserving.h"
#include "Security/RunOutcome.h"

using platform::Array;
using platform::Bundle;
using platform::Object;
using platform::Ref;
using platform::String;
using platform::Task;
using platform::make;

namespace {

String* const kNoToolPath = String::constant("errorNoToolPath");

String* fileNameOf(const tagBundlePayload* payload) { return payload ? payload->FileName : nullptr; }
String* locationOf(const tagBundlePayload* payload) { return payload ? payload->SystemLocation : nullptr; }

} // namespace

// Interface files may name the helper tool through "privetToolHelperName";
// "helperTerminationStatus" tells a host how the helper of the last request
// ended; absent when that request started none.
const platform::Class PrivetToolController::classRecord{
    kPrivetFlavour.toolControllerClassName,
    &Object::classRecord,
    platform::Class::factoryOf<PrivetToolController>(),
    {},
    {{"privetToolHelperName", platform::getter(&PrivetToolController::privetToolHelperName),
      platform::setter(&PrivetToolController::setPrivetToolHelperName)},
     {"helperTerminationStatus",
      [](Object& self) -> Ref<Object> {
          const std::optional<int> status = static_cast<PrivetToolController&>(self).helperTerminationStatus();
          return status ? platform::Number::numberWithInteger(*status) : nullptr;
      },
      nullptr}}};

PrivetToolController::PrivetToolController() : privetToolHelperName_(make<String>("PrivetTool")) {}

void PrivetToolController::setPrivetToolHelperName(String* name) { privetToolHelperName_ = Ref<String>(name); }

Ref<String> PrivetToolController::bundlePayloadSystemVersionSummary(const tagBundlePayload* payload) {
    Ref<Bundle> installed;
    Ref<String> summary = bundleVersionSummaryString(bundlePayloadSystemInstallationPath(payload).get(), &installed);
    // A copy that opened as a bundle is installed; anything else is asked
    // about. The copy just read is the one compared.
    if (!installed && !bundlePayloadIsInstalled(payload)) return make<String>("NOT INSTALLED");
    if (installed && installedCopyIsSourceBuild(payload, *installed)) {
        return String::stringWithFormat("%@ (IS UP TO DATE)", summary);
    }
    return String::stringWithFormat("%@ (NEEDS UPDATING)", summary);
}

Ref<String> PrivetToolController::bundlePayloadSourceVersionSummary(const tagBundlePayload* payload) {
    return bundleVersionSummaryString(bundlePayloadSourcePath(payload).get());
}

Ref<String> PrivetToolController::bundleVersionSummaryString(const String* path, Ref<Bundle>* opened) {
    Ref<Bundle> bundle = path ? Bundle::bundleWithPath(path) : nullptr;
    if (opened) *opened = bundle;
    if (!bundle) return make<String>();
    try {
        platform::Dictionary* info = bundle->infoDictionary();
        Object* name = info ? info->objectForKey(platform::kCFBundleNameKey) : nullptr;
        Object* version = info ? info->objectForKey(platform::kCFBundleVersionKey) : nullptr;
        if (name && version) return String::stringWithFormat("%@ %@", name, version);
    } catch (const platform::RaisedException& failure) {
        if (kPrivetFlavour.logsBundleTrouble) {
            platform::NSLog("%s:%s %@", "PrivetTool/PrivetToolController", __PRETTY_FUNCTION__, failure.exception());
        }
    }
    return make<String>();
}

Ref<String> PrivetToolController::bundlePayloadSystemInstallationPath(const tagBundlePayload* payload) {
    return PrivetTool::destinationWithLocationName_sourcePath(locationOf(payload), fileNameOf(payload));
}

bool PrivetToolController::bundlePayload_installYESRemoveNO(const tagBundlePayload* payload, bool install) {
    helperTerminationStatus_.reset();  // a request with nothing to do started no helper
    const bool installed = bundlePayloadIsInstalled(payload);
    if (install == installed) return false;  // nothing to do
    return install_bundlePayload(install, payload);
}

bool PrivetToolController::bundlePayloadUpdate(const tagBundlePayload* payload) {
    helperTerminationStatus_.reset();
    if (!bundlePayloadIsInstalled(payload)) return false;  // nothing to update
    return install_bundlePayload(true, payload);
}

Ref<String> PrivetToolController::bundlePayloadInstalledDamage(const tagBundlePayload* payload) {
    if (!bundlePayloadIsInstalled(payload)) return nullptr;
    try {
        const Ref<Bundle> source = Bundle::bundleWithPath(bundlePayloadSourcePath(payload).get());
        if (!source || source->infoDictionary()->count() == 0) return nullptr;  // nothing to read it against
        const Ref<Bundle> installed = Bundle::bundleWithPath(bundlePayloadSystemInstallationPath(payload).get());
        if (installed && installed->infoDictionary()->count() > 0) return nullptr;
    } catch (const platform::RaisedException&) {
    }
    return make<String>("The installed copy is damaged: its Info.plist cannot be read. Update repairs it.");
}

Ref<String> PrivetToolController::bundlePayloadRunFailure(const tagBundlePayload* payload) {
    const String* location = locationOf(payload);
    const Ref<String> destination = bundlePayloadSystemInstallationPath(payload);
    if (!asked_ || !location || !destination) return nullptr;
    const std::optional<platform::RunOutcome> outcome =
        platform::readRunOutcome(location->text(), destination->text(), *asked_);
    return outcome && outcome->failed ? make<String>(outcome->reason) : nullptr;
}

bool PrivetToolController::bundlePayloadInstalledWithExtendedVerification(const tagBundlePayload* payload) {
    // Whatever does not open as a bundle, nothing installed included, has no
    // identifier to match: opening the copy answers whether it is installed.
    Ref<String> path = bundlePayloadSystemInstallationPath(payload);
    Ref<Bundle> installed = path ? Bundle::bundleWithPath(path.get()) : nullptr;
    return installed && installedCopyIsSourceBuild(payload, *installed);
}

bool PrivetToolController::installedCopyIsSourceBuild(const tagBundlePayload* payload, const Bundle& installed) {
    try {
        Ref<Bundle> source = Bundle::bundleWithPath(bundlePayloadSourcePath(payload).get());
        String* installedIdentifier = installed.bundleIdentifier();
        String* sourceIdentifier = source ? source->bundleIdentifier() : nullptr;
        if (installedIdentifier == nullptr || !installedIdentifier->isEqualToString(sourceIdentifier)) return false;

        Object* installedVersion = installed.objectForInfoDictionaryKey(platform::kCFBundleVersionKey);
        Object* sourceVersion = source->objectForInfoDictionaryKey(platform::kCFBundleVersionKey);
        const String* installedText = platform::objectAs<String>(installedVersion);
        // Comparing a version that is not a string fails without a verdict.
        if ((installedVersion && !installedText) || (installedText && sourceVersion && !platform::objectAs<String>(sourceVersion))) {
            return false;
        }
        if (installedText && installedText->isEqualToString(platform::objectAs<String>(sourceVersion))) return true;
        if (kPrivetFlavour.logsBundleTrouble) {
            platform::NSLog("bundlePayload(%@) sourceVersion:%@ systemVersion:%@\n", fileNameOf(payload), sourceVersion,
                            installedVersion);
        }
    } catch (const platform::RaisedException&) {
    }
    return false;
}

bool PrivetToolController::bundlePayloadIsInstalled(const tagBundlePayload* payload) {
    Ref<String> path = bundlePayloadSystemInstallationPath(payload);
    return path && platform::FileManager::defaultManager()->fileExistsAtPath(path.get());
}

Ref<String> PrivetToolController::bundlePayloadSourcePath(const tagBundlePayload* payload) {
    return mainBundlePayloadPathForPayloadName(fileNameOf(payload));
}

bool PrivetToolController::install_bundlePayload(bool install, const tagBundlePayload* payload) {
    Ref<String> sourcePath = mainBundlePayloadPathForPayloadName(fileNameOf(payload));
    Ref<String> helperPath = privetToolHelperPath();
    String* command = install ? kPrivetTool_Command_Install : kPrivetTool_Command_Delete;
    Ref<Array> arguments = Array::arrayWithObjects({helperPath.get(), command, locationOf(payload), sourcePath.get()});
    return launchHelperWithArguments(arguments.get());
}

bool PrivetToolController::launchHelperWithArguments(const Array* arguments) {
    if (arguments == nullptr || arguments->count() == 0) return false;
    const String* launchPath = platform::objectAs<String>(arguments->objectAtIndex(0));
    helperTerminationStatus_.reset();
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    asked_ = now;
    Ref<Task> task = Task::launchedTaskWithLaunchPath_arguments(launchPath, arguments);
    const bool ended = sleepUntilTaskExits(task.get());
    helperTerminationStatus_ = task->terminationStatus();
    return ended;
}

Ref<String> PrivetToolController::privetToolHelperPath() {
    Ref<String> path = mainBundlePayloadPathForPayloadName(privetToolHelperName_.get());
    return path ? path : Ref<String>(kNoToolPath);
}

Ref<String> PrivetToolController::mainBundlePayloadPathForPayloadName(const String* name) {
    Ref<String> resource = PrivetTool::mainBundlePayloadPathForResourceName(name);
    Ref<String> plugIn = PrivetTool::mainBundlePayloadPathForPlugInName(name);
    Ref<String> helper = PrivetTool::mainBundlePayloadPathForHelperName(name);
    if (resource) return resource;
    if (plugIn) return plugIn;
    return helper;
}

bool PrivetToolController::sleepUntilTaskExits(const Task* task) {
    if (task == nullptr) return false;
    do {
        // Re-entrant in a window host: the sleep is a nested event loop
        // (AppKit/BlockedSleep.h) in which windows draw and resize, while
        // the run loop's timers and the main queue wait for it to end.
        platform::Thread::sleepForTimeInterval(1.0);
    } while (task->isRunning());
    return true;
}

extern "C" PRIVET_EXPORT int import_PrivetToolController(void) {
    import_PrivetTool();
    return 1;
}
