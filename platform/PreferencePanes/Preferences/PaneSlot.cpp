#include "PreferencePanes/Preferences/PaneSlot.h"

#include "AppKit/ActionBoundary.h"

#include "AppKit/View.h"
#include "Foundation/Bundle.h"
#include "Foundation/Dictionary.h"
#include "Foundation/Exception.h"
#include "Foundation/Log.h"
#include "Foundation/String.h"
#include "PreferencePanes/PreferencePane.h"
#include "objc/AutoreleasePool.h"

#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <functional>
#include <optional>

namespace platform {
namespace {

const String* infoString(const Bundle& bundle, std::string_view key) {
    return objectAs<String>(bundle.infoDictionary()->objectForKey(key));
}

} // namespace

PaneSlot::PaneSlot(std::string bundlePath) : path_(std::move(bundlePath)), bundle_(Bundle::bundleWithPath(make<String>(path_).get())) {
    if (const String* name = bundle_ ? objectAs<String>(bundle_->objectForInfoDictionaryKey(kCFBundleNameKey)) : nullptr;
        name && !name->text().empty()) {
        name_ = name->text();
    } else {
        name_ = std::filesystem::path(path_).filename().replace_extension().string();
    }
}

PaneSlot::~PaneSlot() = default;

PreferencePane* PaneSlot::pane() const { return isLoaded() ? pane_.get() : nullptr; }

QWidget* PaneSlot::view() const { return isLoaded() && pane_->mainView() ? pane_->mainView()->widget() : nullptr; }

bool PaneSlot::fail(std::string reason) {
    state_ = State::Failed;
    error_ = std::move(reason);
    pane_ = nullptr;
    NSLogText("The pane \"" + name_ + "\" (" + path_ + ") cannot be loaded: " + error_, LogPriority::Error);
    return false;
}

// The load address of the bundle's code, loaded now; null after fail().
const void* PaneSlot::loadCode() {
    Ref<String> executable = bundle_->executablePath();
    if (!executable) {
        fail("its code is missing: CFBundleExecutable in its Info.plist names no file in Contents/Linux");
        return nullptr;
    }
    // Kept loaded: the pane, its classes and the objects it makes live on.
    void* handle = dlopen(executable->UTF8String(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        fail(std::string("its code cannot be loaded: ") + (reason ? reason : "unknown error"));
        return nullptr;
    }
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        fail("the load address of its code cannot be found");
        return nullptr;
    }
    return Class::imageContaining(map->l_ld);
}

void PaneSlot::trialEnded(std::string failure) {
    tried_ = true;
    if (!failure.empty() && state_ == State::Unloaded) fail(std::move(failure));
}

bool PaneSlot::load(const std::function<void(std::string_view step)>& onStep) {
    if (state_ != State::Unloaded) return isLoaded();
    const auto step = [&](std::string_view name) {
        if (onStep) onStep(name);
    };
    if (!bundle_) return fail("the bundle cannot be read");
    const String* principal = infoString(*bundle_, "NSPrincipalClass");
    if (principal == nullptr) return fail("its Info.plist names no principal class (NSPrincipalClass)");
    step("loading");
    const void* image = loadCode();
    if (image == nullptr) return false;

    const Class* cls = Class::named(principal->text(), image);
    if (cls == nullptr || cls->image() != image) {
        return fail("its code defines no class \"" + principal->text() + "\" (its NSPrincipalClass)");
    }
    if (!cls->isSubclassOfClass(PreferencePane::classRecord)) {
        return fail("its principal class " + cls->name() + " is not a preference pane (NSPreferencePane)");
    }
    Ref<Object> made;
    step("being created");
    if (auto raised = runCatching([&] { made = cls->createInstance(); })) {
        return fail("creating " + cls->name() + " raised " + raised->text());
    }
    pane_ = Ref<PreferencePane>(objectAs<PreferencePane>(made.get()));
    if (!pane_) return fail(cls->name() + " cannot be created by name");

    View* view = nullptr;
    step("loading its view");
    if (auto raised = runCatching([&] {
            pane_->performSelector("initWithBundle:", bundle_.get());
            view = pane_->loadMainView();
        })) {
        return fail("loading its main view raised " + raised->text());
    }
    if (view == nullptr) return fail(pane_->loadError());
    if (view->widget() == nullptr) return fail("its main view has no widget");
    state_ = State::Loaded;
    return true;
}

} // namespace platform
