#pragma once

#include "PrivetTool/PrivetFlavour.h"
#include "PrivetTool/PrivetToolConst.h"

#include "Foundation/Array.h"
#include "Foundation/Bundle.h"
#include "Foundation/String.h"
#include "Foundation/Task.h"
#include "objc/Object.h"

#include <ctime>
#include <optional>

// A payload: its file name in the host bundle and at its destination, and
// the name of its install location. The fields borrow their strings.
struct tagBundlePayload {
    platform::String* FileName;
    platform::String* SystemLocation;
};

// Answers where a payload's copies lie, whether it is installed and up to
// date, and installs or removes it through the install helper. Every answer
// is computed afresh from the file system.
class PrivetToolController : public platform::Object {
public:
    PLATFORM_CLASS_RECORD

    // The helper tool's file name in the host bundle starts as "PrivetTool".
    PrivetToolController();

    void setPrivetToolHelperName(platform::String* name);
    platform::String* privetToolHelperName() const { return privetToolHelperName_.get(); }

    // "<summary> (IS UP TO DATE)", "<summary> (NEEDS UPDATING)" or "NOT INSTALLED".
    platform::Ref<platform::String> bundlePayloadSystemVersionSummary(const tagBundlePayload* payload);
    // The summary of the copy in the host bundle; "" when there is none.
    platform::Ref<platform::String> bundlePayloadSourceVersionSummary(const tagBundlePayload* payload);
    // "<name> <version>" of the bundle at a path; "" when either is missing.
    // `opened`, when given, receives the bundle that was read (or null).
    platform::Ref<platform::String> bundleVersionSummaryString(const platform::String* path,
                                                               platform::Ref<platform::Bundle>* opened = nullptr);
    platform::Ref<platform::String> bundlePayloadSystemInstallationPath(const tagBundlePayload* payload);
    // Installs a payload that is not installed, removes one that is; true
    // when the helper was started and its first run has ended.
    bool bundlePayload_installYESRemoveNO(const tagBundlePayload* payload, bool install);
    // Installs the source copy over one that is installed (merging into it),
    // whatever its version: an update, or the repair of a damaged copy; true
    // when the helper was started and its first run has ended.
    bool bundlePayloadUpdate(const tagBundlePayload* payload);
    // Why the installed copy is damaged, in a user's words, or empty: the
    // bundled copy has an information list and the installed one has none
    // that can be read.
    platform::Ref<platform::String> bundlePayloadInstalledDamage(const tagBundlePayload* payload);
    // Installed, with the same bundle identifier and version as the source copy.
    bool bundlePayloadInstalledWithExtendedVerification(const tagBundlePayload* payload);
    bool bundlePayloadIsInstalled(const tagBundlePayload* payload);
    platform::Ref<platform::String> bundlePayloadSourcePath(const tagBundlePayload* payload);
    bool install_bundlePayload(bool install, const tagBundlePayload* payload);
    // Starts the list's first element with the whole list as arguments and
    // waits for it; a start failure raises NSInvalidArgumentException.
    bool launchHelperWithArguments(const platform::Array* arguments);
    // Never absent: "errorNoToolPath" when the helper is not in the bundle.
    platform::Ref<platform::String> privetToolHelperPath();
    // Resources folder, then built-in plug-ins, then helpers.
    platform::Ref<platform::String> mainBundlePayloadPathForPayloadName(const platform::String* name);
    // Polls once a second, the first time after one second.
    bool sleepUntilTaskExits(const platform::Task* task);

    // How the helper started by the last launch ended (its elevation run:
    // non-zero when administrator rights were not obtained); absent before
    // any launch, while one goes on, and after a request to install or
    // remove that had nothing to do. Only for reporting: nothing here acts
    // on it.
    std::optional<int> helperTerminationStatus() const { return helperTerminationStatus_; }
    // Why the privileged run of the last request about `payload` failed, in
    // a user's words, once it has reported so; null otherwise.
    platform::Ref<platform::String> bundlePayloadRunFailure(const tagBundlePayload* payload);

private:
    // Whether an installed copy, opened as a bundle, is the source copy's build.
    bool installedCopyIsSourceBuild(const tagBundlePayload* payload, const platform::Bundle& installed);

    platform::Ref<platform::String> privetToolHelperName_;
    std::optional<int> helperTerminationStatus_;
    // When the last helper was started; no run that ended before speaks for it.
    std::optional<timespec> asked_;
};

extern "C" PRIVET_EXPORT int import_PrivetToolController(void);
