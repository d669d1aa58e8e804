#pragma once

#include "objc/Class.h"
#include "objc/Ref.h"

#include <atomic>
#include <climits>
#include <memory>
#include <cstddef>
#include <string_view>

// Declares a class's record and answers objectClass() with it, in the
// class's body; the record itself (its name, superclass, methods and keys) is
// defined beside the class's code.
#define PLATFORM_CLASS_RECORD                 \
    static const ::platform::Class classRecord; \
    const ::platform::Class& objectClass() const override { return classRecord; }

namespace platform {

class KeyValueObserver;
class String;
struct ObservationInfo;

// The root class: reference counting, the runtime class, kind-of tests,
// selectors and a description.
class Object {
public:
    static const Class classRecord;  // "NSObject"
    virtual const Class& objectClass() const { return classRecord; }

    void retain() const;
    void release() const;
    // The number of owners; immortal objects (singletons, constants) report
    // a very large count.
    long retainCount() const;
    bool isImmortal() const;
    // How many objects exist in the process now, immortal ones included.
    static long liveObjectCount();

    // Hands one reference to the current thread's innermost autorelease pool.
    Object* autorelease() const;

    virtual Ref<String> description() const;
    virtual bool isEqual(const Object* other) const { return this == other; }
    virtual std::size_t hash() const;

    bool isKindOfClass(const Class& cls) const;
    bool isMemberOfClass(const Class& cls) const { return &objectClass() == &cls; }
    bool respondsToSelector(std::string_view selector) const;
    // Sends a selector with one argument; an unknown selector raises
    // NSInvalidArgumentException.
    Ref<Object> performSelector(std::string_view selector, Object* argument = nullptr);

    // Key-value coding through the class's key table; an unknown key raises
    // NSUndefinedKeyException.
    Ref<Object> valueForKey(std::string_view key);
    void setValue_forKey(Object* value, std::string_view key);

    // Key-value observing: observers are registered per key and told of
    // every will/did announcement for it, in the order sent. Observers are
    // not owned.
    void addObserver_forKeyPath(KeyValueObserver* observer, std::string_view key);
    void removeObserver_forKeyPath(KeyValueObserver* observer, std::string_view key);
    void willChangeValueForKey(std::string_view key);
    void didChangeValueForKey(std::string_view key);

    Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

protected:
    // Objects end through release(), never through delete.
    virtual ~Object();
    // For singletons and constants: retain and release no longer count.
    void makeImmortal() { retainCount_.store(kImmortalCount, std::memory_order_relaxed); }

private:
    static constexpr long kImmortalCount = LONG_MAX;

private:
    mutable std::atomic<long> retainCount_{1};
    std::unique_ptr<ObservationInfo> observation_;
};

// The class name of an object, or "(nil)" for none.
std::string_view classNameOf(const Object* object);

// Casts when the object is of the class (or a subclass), else null.
template <class T>
T* objectAs(Object* object) {
    return object && object->isKindOfClass(T::classRecord) ? static_cast<T*>(object) : nullptr;
}
template <class T>
const T* objectAs(const Object* object) {
    return object && object->isKindOfClass(T::classRecord) ? static_cast<const T*>(object) : nullptr;
}

} // namespace platform
