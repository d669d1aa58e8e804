#include "AppKit/Binding.h"

#include "AppKit/ActionBoundary.h"
#include "AppKit/ValueTransformer.h"
#include "AppKit/View.h"
#include "Foundation/String.h"
#include "objc/AutoreleasePool.h"

namespace platform {

Binding::Binding(View& view, std::string name, Object& object, std::string key, std::string transformer)
    : view_(view), name_(std::move(name)), object_(object), key_(std::move(key)), transformer_(std::move(transformer)) {
    object_.addObserver_forKeyPath(this, key_);
}

Binding::~Binding() { object_.removeObserver_forKeyPath(this, key_); }

void Binding::refresh() {
    runLogged("reading " + key_ + " for the " + name_ + " binding of " + view_.objectClass().name(), [&] {
        AutoreleasePool pool;
        Ref<Object> value = transformedValue(transformer_, object_.valueForKey(key_).get());
        view_.setValueForBinding(name_, value.get());
    });
}

bool Binding::isWritable() const {
    return object_.objectClass().setterForKey(key_) != nullptr && allowsReverseTransformation(transformer_);
}

void Binding::writeBack(Object* value) {
    runAtActionBoundary("setValue:forKey: " + key_, [&] {
        object_.setValue_forKey(reverseTransformedValue(transformer_, value).get(), key_);
    });
    refresh();
}

void Binding::observeDidChangeValueForKey(Object&, const std::string&) { refresh(); }

} // namespace platform
