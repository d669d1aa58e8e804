#pragma once

#include "objc/Object.h"

#include <cstddef>
#include <string_view>

namespace platform {

class String;

// What a failed method ran on: an object, or a class for a class-level
// function. Converts from either, so callers pass `this` or a class record.
class AssertionReceiver {
public:
    AssertionReceiver(const Object* object) : object_(object) {}
    AssertionReceiver(std::nullptr_t) {}
    AssertionReceiver(const Class& cls) : class_(&cls) {}

    // The object, or null for a class or none.
    const Object* object() const { return object_; }
    // The object's class, or the class itself; null for none.
    const Class* receiverClass() const { return object_ ? &object_->objectClass() : class_; }
    bool isClass() const { return class_ != nullptr; }

private:
    const Object* object_ = nullptr;
    const Class* class_ = nullptr;
};

// Receives failed assertions. The one in place logs each failure and raises
// NSInternalInconsistencyException in the caller; another can be put in its
// place, and one that returns lets the caller go on.
class AssertionHandler : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSAssertionHandler"

    // The handler in place for the process.
    static Ref<AssertionHandler> currentHandler();
    // Puts a handler in place (null: the default one) and returns the one it replaces.
    static Ref<AssertionHandler> setCurrentHandler(Ref<AssertionHandler> handler);

    // Logs "*** Assertion failure in -[Class method], file:line" ("+[...]"
    // for a class) and raises NSInternalInconsistencyException with the
    // description as its reason.
    virtual void handleFailureInMethod_object_file_lineNumber_description(std::string_view method,
                                                                          AssertionReceiver object,
                                                                          const String* file, long line,
                                                                          const String* description);
};

} // namespace platform
