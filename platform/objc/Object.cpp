#include "objc/Object.h"

#include "Foundation/Exception.h"
#include "Foundation/String.h"
#include "objc/AutoreleasePool.h"
#include "objc/ObservationInfo.h"

#include <climits>
#include <cstdint>
#include <cstdio>

namespace platform {
const Class Object::classRecord{"NSObject", nullptr, Class::factoryOf<Object>()};

namespace {
std::atomic<long> liveObjects{0};
} // namespace

Object::Object() { liveObjects.fetch_add(1, std::memory_order_relaxed); }

Object::~Object() { liveObjects.fetch_sub(1, std::memory_order_relaxed); }

long Object::liveObjectCount() { return liveObjects.load(std::memory_order_relaxed); }

bool Object::isImmortal() const { return retainCount_.load(std::memory_order_relaxed) == kImmortalCount; }

void Object::retain() const {
    if (isImmortal()) return;
    retainCount_.fetch_add(1, std::memory_order_relaxed);
}

void Object::release() const {
    if (isImmortal()) return;
    if (retainCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

long Object::retainCount() const { return retainCount_.load(std::memory_order_relaxed); }

Object* Object::autorelease() const {
    if (!AutoreleasePool::addObject(this)) {
        std::fprintf(stderr, "*** object %p of class %s autoreleased with no pool in place - just leaking\n",
                     static_cast<const void*>(this), objectClass().name().c_str());
    }
    return const_cast<Object*>(this);
}

Ref<String> Object::description() const {
    return String::stringWithFormat("<%s: %p>", objectClass().name().c_str(), static_cast<const void*>(this));
}

std::size_t Object::hash() const { return reinterpret_cast<std::uintptr_t>(this); }

bool Object::isKindOfClass(const Class& cls) const { return objectClass().isSubclassOfClass(cls); }

bool Object::respondsToSelector(std::string_view selector) const {
    return objectClass().instancesRespondToSelector(selector);
}

Ref<Object> Object::performSelector(std::string_view selector, Object* argument) {
    const Method* method = objectClass().methodForSelector(selector);
    if (method == nullptr) {
        const std::string text(selector);
        Exception::raise(NSInvalidArgumentException,
                         String::stringWithFormat("-[%s %s]: unrecognized selector sent to instance %p",
                                                  objectClass().name().c_str(), text.c_str(),
                                                  static_cast<const void*>(this)));
    }
    return (*method)(*this, argument);
}

std::string_view classNameOf(const Object* object) {
    return object ? std::string_view(object->objectClass().name()) : std::string_view("(nil)");
}

} // namespace platform
