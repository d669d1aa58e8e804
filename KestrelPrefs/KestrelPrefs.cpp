#include "KestrelPrefs/KestrelPrefs.h"

#include "Foundation/AssertionHandler.h"
#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

#include <mutex>

using platform::Class;
using platform::Object;
using platform::String;

namespace {

String* const kSourceFile = String::constant("KestrelPrefs/KestrelPrefs");
String* const kOutletNotSet = String::constant("payloadController IBOutlet not set");

// The class initializer runs once, before the first pane is made.
platform::Ref<Object> makePane() {
    static std::once_flag initialized;
    std::call_once(initialized, &KestrelPrefs::initialize);
    return Class::factoryOf<KestrelPrefs>()();
}

void connectPayloadController(Object& pane, Object* value) {
    static_cast<KestrelPrefs&>(pane).payloadController =
        platform::objectAs<PrivetBundlePayloadController>(value);
}

} // namespace

const Class KestrelPrefs::classRecord{"KestrelPrefs", &platform::PreferencePane::classRecord, &makePane, {},
                                      {{"payloadController", nullptr, &connectPayloadController}}};

void KestrelPrefs::didUnselect() {
    if (payloadController) payloadController->endRefreshing();
}

void KestrelPrefs::didSelect() {
    if (payloadController == nullptr) {
        platform::AssertionHandler::currentHandler()->handleFailureInMethod_object_file_lineNumber_description(
            "didSelect", this, kSourceFile, 17, kOutletNotSet);
    }
    if (payloadController) payloadController->beginRefreshing();
}

void KestrelPrefs::mainViewDidLoad() {}

void KestrelPrefs::initialize() { (void)import_PrivetBundlePayloadController(); }
