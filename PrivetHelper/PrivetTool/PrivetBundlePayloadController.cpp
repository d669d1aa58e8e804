#include "PrivetTool/PrivetBundlePayloadController.h"
#include "PrivetTool/PrivetHelperOutcome.h"

#include "Foundation/AssertionHandler.h"
#include "Foundation/Number.h"
#include "Foundation/RunLoop.h"
#include "objc/KeyValueObserving.h"

using platform::KeyValueChange;
using platform::Object;
using platform::Ref;
using platform::String;
using platform::Getter;
using platform::Setter;
using platform::Timer;
using platform::getter;
using platform::make;
using platform::method;
using platform::setter;

namespace {

// The actions as the outcome row names them.
constexpr const char* kActionNames[] = {"Install", "Remove", "Update"};

String* const kSourceFile = String::constant("PrivetTool/PrivetBundlePayloadController");
String* const kRefresherNotCreated = String::constant("Failed to create bindingsRefresher NSTimer");

// The strings a payload controller is given: its own copy, or the very
// object, as the flavour keeps them.
Ref<String> keptString(String* value) {
    if (!kPrivetFlavour.copiesStrings || value == nullptr) return Ref<String>(value);
    return value->copy();
}

// An accessor of the architecture gate; none where the flavour has no gate.
template <class Accessor>
Accessor gateAccessor(Accessor accessor) {
    return kPrivetFlavour.hasArchitectureGate ? accessor : nullptr;
}

void setToolController(PrivetBundlePayloadController& self, Object* value) {
    self.privetToolController = platform::objectAs<PrivetToolController>(value);
}

} // namespace

const platform::Class PrivetBundlePayloadController::classRecord{
    kPrivetFlavour.payloadControllerClassName,
    &Object::classRecord,
    platform::Class::factoryOf<PrivetBundlePayloadController>(),
    {{"installPayload:", method(&PrivetBundlePayloadController::installPayload)},
     {"removePayload:", method(&PrivetBundlePayloadController::removePayload)},
     {"updatePayload:", method(&PrivetBundlePayloadController::updatePayload)},
     {"beginRefreshing", method(&PrivetBundlePayloadController::beginRefreshing)},
     {"endRefreshing", method(&PrivetBundlePayloadController::endRefreshing)},
     {"bindingsRefreshTimer:", method(&PrivetBundlePayloadController::bindingsRefreshTimer)},
     {"awakeFromNib", method(&PrivetBundlePayloadController::awakeFromNib)}},
    {{"payloadInstalled", getter(&PrivetBundlePayloadController::payloadInstalled),
      setter(&PrivetBundlePayloadController::setPayloadInstalled)},
     {"payloadInstalledAndUpToDate", getter(&PrivetBundlePayloadController::payloadInstalledAndUpToDate), nullptr},
     {"payloadNeedsUpdating", getter(&PrivetBundlePayloadController::payloadNeedsUpdating), nullptr},
     {"payloadInstalledCopyDamage", getter(&PrivetBundlePayloadController::payloadInstalledCopyDamage), nullptr},
     {"payloadRunFailure", getter(&PrivetBundlePayloadController::payloadRunFailure), nullptr},
     {"payloadInstalledLocation", getter(&PrivetBundlePayloadController::payloadInstalledLocation), nullptr},
     {"payloadInstalledLocationFolder", getter(&PrivetBundlePayloadController::payloadInstalledLocationFolder), nullptr},
     {"payloadSystemSummary", getter(&PrivetBundlePayloadController::payloadSystemSummary), nullptr},
     {"payloadSourceSummary", getter(&PrivetBundlePayloadController::payloadSourceSummary), nullptr},
     {"payloadActionOutcome", getter(&PrivetBundlePayloadController::payloadActionOutcome), nullptr},
     {"bindingsRefresher", getter(&PrivetBundlePayloadController::bindingsRefresher),
      setter(&PrivetBundlePayloadController::setBindingsRefresher)},
     {"disableLP64", gateAccessor<Getter>(getter(&PrivetBundlePayloadController::disableLP64)),
      gateAccessor<Setter>(setter(&PrivetBundlePayloadController::setDisableLP64))},
     {"SystemLocation", getter(&PrivetBundlePayloadController::SystemLocation),
      setter(&PrivetBundlePayloadController::setSystemLocation)},
     {"FileName", getter(&PrivetBundlePayloadController::FileName), setter(&PrivetBundlePayloadController::setFileName)},
     {"privetToolController",
      [](Object& self) -> Ref<Object> {
          return Ref<Object>(static_cast<PrivetBundlePayloadController&>(self).privetToolController);
      },
      [](Object& self, Object* value) { setToolController(static_cast<PrivetBundlePayloadController&>(self), value); }}}};

PrivetBundlePayloadController::~PrivetBundlePayloadController() {
    setFileName(nullptr);
    setSystemLocation(nullptr);
    if (kPrivetFlavour.hasArchitectureGate) setDisableLP64(nullptr);
    endRefreshing();
}

// -- state

tagBundlePayload* PrivetBundlePayloadController::bundlePayload() {
    bundlePayload_.FileName = FileName_.get();
    bundlePayload_.SystemLocation = SystemLocation_.get();
    return &bundlePayload_;
}

// Only a true number counts: null, the cached null and any other object leave
// the payload supported.
bool PrivetBundlePayloadController::architectureSupported() {
    if (!kPrivetFlavour.hasArchitectureGate) return true;
    const auto* number = platform::objectAs<platform::Number>(disableLP64());
    return number == nullptr || !number->boolValue();
}

bool PrivetBundlePayloadController::payloadInstalled() {
    tagBundlePayload payload = *bundlePayload();
    return privetToolController && privetToolController->bundlePayloadIsInstalled(&payload);
}

bool PrivetBundlePayloadController::payloadInstalledAndUpToDate() {
    if (!architectureSupported()) return false;
    tagBundlePayload payload = *bundlePayload();
    return privetToolController && privetToolController->bundlePayloadInstalledWithExtendedVerification(&payload);
}

bool PrivetBundlePayloadController::payloadNeedsUpdating() { return payloadInstalled() && !payloadInstalledAndUpToDate(); }

Ref<String> PrivetBundlePayloadController::payloadActionOutcome() {
    if (payloadActionOutcome_) return payloadActionOutcome_;
    if (const Ref<String> failure = payloadRunFailure()) {
        return String::stringWithFormat("%s did not complete: %@.", kActionNames[static_cast<int>(lastAction_)],
                                        failure.get());
    }
    return payloadInstalledCopyDamage();
}

Ref<String> PrivetBundlePayloadController::payloadRunFailure() {
    if (!privetToolController) return nullptr;
    tagBundlePayload payload = *bundlePayload();
    return privetToolController->bundlePayloadRunFailure(&payload);
}

Ref<String> PrivetBundlePayloadController::payloadInstalledCopyDamage() {
    if (!architectureSupported() || !privetToolController) return nullptr;
    tagBundlePayload payload = *bundlePayload();
    return privetToolController->bundlePayloadInstalledDamage(&payload);
}

Ref<String> PrivetBundlePayloadController::payloadInstalledLocation() {
    if (!architectureSupported()) return make<String>();
    tagBundlePayload payload = *bundlePayload();
    return privetToolController ? privetToolController->bundlePayloadSystemInstallationPath(&payload) : nullptr;
}

Ref<String> PrivetBundlePayloadController::payloadInstalledLocationFolder() {
    if (!architectureSupported()) return make<String>();
    Ref<String> location = payloadInstalledLocation();
    return location ? location->stringByDeletingLastPathComponent() : nullptr;
}

Ref<String> PrivetBundlePayloadController::payloadSystemSummary() {
    if (!architectureSupported()) return make<String>();
    tagBundlePayload payload = *bundlePayload();
    return privetToolController ? privetToolController->bundlePayloadSystemVersionSummary(&payload) : nullptr;
}

Ref<String> PrivetBundlePayloadController::payloadSourceSummary() {
    if (!architectureSupported()) return make<String>();
    tagBundlePayload payload = *bundlePayload();
    return privetToolController ? privetToolController->bundlePayloadSourceVersionSummary(&payload) : nullptr;
}

// -- setters

void PrivetBundlePayloadController::setPayloadInstalled(bool install) {
    const KeyValueChange automatic(*this, "payloadInstalled");
    if (!architectureSupported()) return;
    willChangeValueForKey("payloadInstalledAndUpToDate");
    willChangeValueForKey("payloadNeedsUpdating");
    willChangeValueForKey("payloadSystemSummary");
    tagBundlePayload payload = *bundlePayload();
    if (privetToolController) privetToolController->bundlePayload_installYESRemoveNO(&payload, install);
    didChangeValueForKey("payloadInstalledAndUpToDate");
    didChangeValueForKey("payloadNeedsUpdating");
    didChangeValueForKey("payloadSystemSummary");
}

void PrivetBundlePayloadController::setBindingsRefresher(Timer* timer) {
    const KeyValueChange automatic(*this, "bindingsRefresher");
    bindingsRefresher_ = Ref<Timer>(timer);
}

void PrivetBundlePayloadController::setDisableLP64(Object* value) {
    const KeyValueChange automatic(*this, "disableLP64");
    disableLP64_ = Ref<Object>(value);
}

void PrivetBundlePayloadController::setSystemLocation(String* location) {
    const KeyValueChange automatic(*this, "SystemLocation");
    SystemLocation_ = keptString(location);
}

void PrivetBundlePayloadController::setFileName(String* name) {
    const KeyValueChange automatic(*this, "FileName");
    FileName_ = keptString(name);
}

void PrivetBundlePayloadController::setPayloadActionOutcome(String* outcome) {
    const KeyValueChange automatic(*this, "payloadActionOutcome");
    payloadActionOutcome_ = Ref<String>(outcome);
}

// -- actions

void PrivetBundlePayloadController::installPayload(Object*) {
    if (architectureSupported()) act(Action::Install);
}

void PrivetBundlePayloadController::removePayload(Object*) {
    if (architectureSupported()) act(Action::Remove);
}

void PrivetBundlePayloadController::updatePayload(Object*) {
    if (architectureSupported()) act(Action::Update);
}

// Only a helper that the action itself started tells its outcome; the
// install controller forgets the last one's at every request.
void PrivetBundlePayloadController::act(Action action) {
    if (payloadActionOutcome_) setPayloadActionOutcome(nullptr);
    lastAction_ = action;
    if (action == Action::Update) {
        willChangeValueForKey("payloadInstalledAndUpToDate");
        willChangeValueForKey("payloadNeedsUpdating");
        willChangeValueForKey("payloadSystemSummary");
        const tagBundlePayload payload = *bundlePayload();
        if (privetToolController) privetToolController->bundlePayloadUpdate(&payload);
        didChangeValueForKey("payloadInstalledAndUpToDate");
        didChangeValueForKey("payloadNeedsUpdating");
        didChangeValueForKey("payloadSystemSummary");
    } else {
        setPayloadInstalled(action == Action::Install);
    }
    const std::optional<int> status =
        privetToolController ? privetToolController->helperTerminationStatus() : std::optional<int>();
    if (!status || *status == 0) return;
    setPayloadActionOutcome(String::stringWithFormat("%s did not complete: %s.", kActionNames[static_cast<int>(action)],
                                                     whyTheHelperFailed(*status).c_str())
                                .get());
}

// -- refreshing

void PrivetBundlePayloadController::beginRefreshing() {
    if (bindingsRefresher()) return;
    setBindingsRefresher(Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(
                             1.0, this, "bindingsRefreshTimer:", nullptr, true)
                             .get());
    if (!bindingsRefresher()) {
        platform::AssertionHandler::currentHandler()->handleFailureInMethod_object_file_lineNumber_description(
            "beginRefreshing", this, kSourceFile, kPrivetFlavour.refresherAssertionLine, kRefresherNotCreated);
    }
    platform::RunLoop::currentRunLoop()->addTimer_forMode(bindingsRefresher(), platform::NSRunLoopCommonModes);
}

void PrivetBundlePayloadController::endRefreshing() {
    if (!bindingsRefresher()) return;
    bindingsRefresher()->invalidate();
    setBindingsRefresher(nullptr);
}

void PrivetBundlePayloadController::bindingsRefreshTimer(Object*) {
    if (!architectureSupported()) return;
    willChangeValueForKey("payloadInstalledAndUpToDate");
    willChangeValueForKey("payloadNeedsUpdating");
    willChangeValueForKey("payloadSystemSummary");
    willChangeValueForKey("payloadSourceSummary");
    willChangeValueForKey("payloadInstalledLocation");
    willChangeValueForKey("payloadInstalledLocationFolder");
    willChangeValueForKey("payloadInstalled");
    willChangeValueForKey("payloadActionOutcome");
    didChangeValueForKey("payloadActionOutcome");
    didChangeValueForKey("payloadInstalledAndUpToDate");
    didChangeValueForKey("payloadNeedsUpdating");
    didChangeValueForKey("payloadSystemSummary");
    didChangeValueForKey("payloadSourceSummary");
    didChangeValueForKey("payloadInstalledLocationFolder");
    didChangeValueForKey("payloadInstalledLocation");
    didChangeValueForKey("payloadInstalled");
}

void PrivetBundlePayloadController::awakeFromNib() { beginRefreshing(); }

extern "C" PRIVET_EXPORT int import_PrivetBundlePayloadController(void) {
    import_PrivetToolController();
    return 1;
}
