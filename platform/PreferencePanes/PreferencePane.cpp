#include "PreferencePanes/PreferencePane.h"

#include "AppKit/NibLoader.h"
#include "AppKit/View.h"
#include "Foundation/Bundle.h"
#include "Foundation/Dictionary.h"
#include "Foundation/String.h"
#include "objc/KeyValueObserving.h"

namespace platform {

const Class PreferencePane::classRecord{
    "NSPreferencePane", &Object::classRecord, Class::factoryOf<PreferencePane>(),
    {{"initWithBundle:", [](Object& self, Object* bundle) -> Ref<Object> {
          static_cast<PreferencePane&>(self).initWithBundle(objectAs<Bundle>(bundle));
          return Ref<Object>(&self);
      }},
     {"loadMainView", method(&PreferencePane::loadMainView)},
     {"mainViewDidLoad", method(&PreferencePane::mainViewDidLoad)},
     {"willSelect", method(&PreferencePane::willSelect)},
     {"didSelect", method(&PreferencePane::didSelect)},
     {"willUnselect", method(&PreferencePane::willUnselect)},
     {"didUnselect", method(&PreferencePane::didUnselect)}},
    {{"mainView", getter(&PreferencePane::mainView), setter(&PreferencePane::setMainView)},
     {"bundle", getter(&PreferencePane::bundle), nullptr}}};

PreferencePane::PreferencePane() = default;

PreferencePane::~PreferencePane() {
    mainView_ = nullptr;
    nib_.reset();
}

void PreferencePane::initWithBundle(Bundle* bundle) { bundle_ = Ref<Bundle>(bundle); }

void PreferencePane::setMainView(View* view) {
    const KeyValueChange automatic(*this, "mainView");
    mainView_ = Ref<View>(view);
}

View* PreferencePane::loadMainView() {
    if (loadTried_) return mainView_.get();
    loadTried_ = true;
    if (bundle_ == nullptr) {
        loadError_ = "the pane has no bundle (initWithBundle: was not sent)";
        return nullptr;
    }
    const String* nibName = objectAs<String>(bundle_->infoDictionary()->objectForKey("NSMainNibFile"));
    if (nibName == nullptr) {
        loadError_ = "its Info.plist names no main interface file (NSMainNibFile)";
        return nullptr;
    }
    const std::string path = NibLoader::pathForNibNamed(*bundle_, nibName->text());
    NibLoader::Result loaded = NibLoader(objectClass().image()).loadFile(path, this);
    if (!loaded) {
        loadError_ = loaded.error->text();
        return nullptr;
    }
    if (mainView_ == nullptr) {
        loadError_ = path + ": File's Owner's mainView is not connected";
        return nullptr;
    }
    nib_ = std::move(loaded.nib);
    performSelector("mainViewDidLoad");
    return mainView_.get();
}

} // namespace platform
