#include "objc/KeyValueObserving.h"
#include "objc/ObservationInfo.h"

#include "Foundation/Exception.h"
#include "Foundation/String.h"

#include <algorithm>

namespace platform {

void KeyValueObserver::observeWillChangeValueForKey(Object&, const std::string&) {}

namespace {
[[noreturn]] void raiseUndefinedKey(const Object& object, const char* accessor, std::string_view key) {
    const std::string text(key);
    Exception::raise(NSUndefinedKeyException,
                     String::stringWithFormat("[<%s %p> %s]: this class is not key value coding-compliant for the key %s.",
                                              object.objectClass().name().c_str(), static_cast<const void*>(&object),
                                              accessor, text.c_str()));
}
} // namespace

Ref<Object> Object::valueForKey(std::string_view key) {
    const Getter* read = objectClass().getterForKey(key);
    if (read == nullptr) raiseUndefinedKey(*this, "valueForUndefinedKey:", key);
    return (*read)(*this);
}

void Object::setValue_forKey(Object* value, std::string_view key) {
    const Setter* write = objectClass().setterForKey(key);
    if (write == nullptr) raiseUndefinedKey(*this, "setValue:forUndefinedKey:", key);
    (*write)(*this, value);
}

void Object::addObserver_forKeyPath(KeyValueObserver* observer, std::string_view key) {
    if (observer == nullptr) return;
    if (!observation_) observation_ = std::make_unique<ObservationInfo>();
    observation_->registrations.push_back({std::string(key), observer});
}

void Object::removeObserver_forKeyPath(KeyValueObserver* observer, std::string_view key) {
    if (!observation_) return;
    auto& list = observation_->registrations;
    auto found = std::find_if(list.begin(), list.end(), [&](const ObservationInfo::Registration& registration) {
        return registration.observer == observer && registration.key == key;
    });
    if (found != list.end()) list.erase(found);
}

void Object::willChangeValueForKey(std::string_view key) {
    if (!observation_) return;
    const std::string text(key);
    for (KeyValueObserver* observer : observation_->observersOf(key)) observer->observeWillChangeValueForKey(*this, text);
}

void Object::didChangeValueForKey(std::string_view key) {
    if (!observation_) return;
    const std::string text(key);
    for (KeyValueObserver* observer : observation_->observersOf(key)) observer->observeDidChangeValueForKey(*this, text);
}

} // namespace platform
