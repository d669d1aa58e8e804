#pragma once

#include "PrivetTool/PrivetFlavour.h"
#include "PrivetTool/PrivetToolController.h"

#include "Foundation/String.h"
#include "Foundation/Timer.h"
#include "objc/Object.h"

// What a pane's controls are bound to for one payload: six keys computed
// afresh on every read, the Install and Remove actions, and a one-second
// refresh that announces all six keys as changed.
class PrivetBundlePayloadController : public platform::Object {
public:
    PLATFORM_CLASS_RECORD

    PrivetBundlePayloadController() = default;
    // Clears the payload's strings, then stops refreshing.
    ~PrivetBundlePayloadController() override;

    // Outlet: connected by the interface file, never owned.
    PrivetToolController* privetToolController = nullptr;

    bool payloadInstalled();
    // Installs (true) or removes (false) through the install controller.
    void setPayloadInstalled(bool install);
    bool payloadInstalledAndUpToDate();
    // Installed, but not the bundled copy: what Update is for.
    bool payloadNeedsUpdating();
    // Why the installed copy is damaged, or nothing.
    platform::Ref<platform::String> payloadInstalledCopyDamage();
    // Why the privileged run of the last action failed, once it has said so.
    platform::Ref<platform::String> payloadRunFailure();
    platform::Ref<platform::String> payloadInstalledLocation();
    platform::Ref<platform::String> payloadInstalledLocationFolder();
    platform::Ref<platform::String> payloadSystemSummary();
    platform::Ref<platform::String> payloadSourceSummary();
    // After an Install or Remove whose helper failed: why, in a sentence;
    // null otherwise, and from the start of the next action.
    // How the last action ended when it failed; else whether the installed
    // copy is damaged.
    platform::Ref<platform::String> payloadActionOutcome();
    // The record inside this object, rewritten from FileName and
    // SystemLocation on every call; always the same address.
    tagBundlePayload* bundlePayload();
    platform::Timer* bindingsRefresher() const { return bindingsRefresher_.get(); }
    void setBindingsRefresher(platform::Timer* timer);
    // A true number marks the payload as not supported by this build; read
    // only where the flavour has the gate.
    platform::Object* disableLP64() const { return disableLP64_.get(); }
    void setDisableLP64(platform::Object* value);
    platform::String* SystemLocation() const { return SystemLocation_.get(); }
    void setSystemLocation(platform::String* location);
    platform::String* FileName() const { return FileName_.get(); }
    void setFileName(platform::String* name);

    bool architectureSupported();

    // Actions; the sender is ignored.
    void installPayload(platform::Object* sender);
    void removePayload(platform::Object* sender);
    // Installs the bundled copy over the installed one.
    void updatePayload(platform::Object* sender);

    void beginRefreshing();
    void endRefreshing();
    void bindingsRefreshTimer(platform::Object* timer);
    void awakeFromNib();

private:
    enum class Action { Install, Remove, Update };
    // Sends the action and notes how its helper ended.
    void act(Action action);
    void setPayloadActionOutcome(platform::String* outcome);
    Action lastAction_ = Action::Install;

    platform::Ref<platform::String> FileName_;
    platform::Ref<platform::String> SystemLocation_;
    platform::Ref<platform::Object> disableLP64_;
    tagBundlePayload bundlePayload_{};
    platform::Ref<platform::Timer> bindingsRefresher_;
    platform::Ref<platform::String> payloadActionOutcome_;
};

extern "C" PRIVET_EXPORT int import_PrivetBundlePayloadController(void);
