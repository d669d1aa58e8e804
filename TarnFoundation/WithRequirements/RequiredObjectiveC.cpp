#include "WithRequirements/RequiredObjectiveC.h"

#include "WithRequirements/RequiredCoreLog.h"
#include "WithRequirements/RequiredPrivate.h"

#include "Foundation/Error.h"
#include "Foundation/Exception.h"
#include "Foundation/Null.h"
#include "objc/Object.h"

#include <string>

using platform::Object;
using platform::Ref;
using platform::String;

extern "C" {
ObjCObjectRef NSRequiredNotNSNullCachedValue = nullptr;
}

namespace {

__attribute__((constructor(REQUIRED_LOAD_STEP_NULL_VALUE))) void NSRequiredNotNSNullCachedValueConstructor() {
    NSRequiredNotNSNullCachedValue = platform::Null::null();
}

bool isCachedNull(const Object* object) { return object != nullptr && object == NSRequiredNotNSNullCachedValue; }

Ref<String> classText(const Object* object) {
    return platform::make<String>(std::string(platform::classNameOf(object)));
}

// "<class>==nil", or "<class>==NSNull" for the null object.
Ref<String> valueText(const Object* value) {
    return required::format(CFSTR("%@==%s"), classText(value).get(), isCachedNull(value) ? "NSNull" : "nil");
}

// What the object's delegate method returns; null when it has none.
Ref<Object> delegateOf(Object* object) {
    if (object == nullptr || isCachedNull(object) || !object->respondsToSelector("delegate")) return nullptr;
    try {
        return object->performSelector("delegate");
    } catch (...) {
        return nullptr;
    }
}

// The message is the format filled with one object (or a text made before).
void logRequirement(const char* function, const char* file, int32_t line, const char* expression,
                    CFStringRef format, const Object* argument) {
    const RequiredSourceLocation location{function, file, line, expression};
    __CFLogError(&location, format, argument);
}

// "label text": nothing when the text could not be made.
void logLabelled(const char* label, const String* text, const char* function, const char* file, int32_t line,
                 const char* expression) {
    if (text == nullptr) return;
    const RequiredSourceLocation location{function, file, line, expression};
    __CFLogError(&location, CFSTR("%s %@"), label, text);
}

} // namespace

extern "C" {

void __NSRequiredNSErrorNilBody(NSErrorRef error, const char* function, const char* file, int32_t line,
                                const char* expression) {
    logRequirement(function, file, line, expression, CFSTR("REQUIRED_NSERROR_NIL %@"), error);
}

void __NSRequiredNoExceptionBody(NSExceptionRef exception, const char* file, const char* function, int32_t line,
                                 const char* expression) {
    logRequirement(function, file, line, expression, CFSTR("REQUIRED_NO_EXCEPTION NSException{ %@ }"), exception);
}

void __NSRequiredDelegateSelectorBody(const char* label, ObjCObjectRef object, ObjCSelector selector,
                                      const char* function, const char* file, int32_t line,
                                      const char* expression) {
    const Ref<String> delegateText =
        required::format(CFSTR("%@.delegate=%@ has no @selector(%@)"), classText(object).get(),
                         delegateOf(object).get(), String::stringWithUTF8String(selector).get());
    logLabelled(label, delegateText.get(), function, file, line, expression);
}

void __NSRequiredNotNilBody(ObjCObjectRef value, const char* function, const char* file, int32_t line,
                            const char* expression) {
    const Ref<String> text = valueText(value);
    if (text) logRequirement(function, file, line, expression, CFSTR("REQUIRED_NOT_NIL %@"), text.get());
}

void __NSRequiredKindOfClassBody(const char* label, ObjCObjectRef object, ObjCClassRef cls, const char* function,
                                 const char* file, int32_t line, const char* expression) {
    const Ref<String> requiredClass = cls ? platform::make<String>(cls->name()) : nullptr;
    const Ref<String> classCheck =
        required::format(CFSTR("[%@ isKindOfClass:%@] FAILED"), classText(object).get(), requiredClass.get());
    logLabelled(label, classCheck.get(), function, file, line, expression);
}

void __NSRequiredValidIdBody(ObjCObjectRef value, const char* function, const char* file, int32_t line,
                             const char* expression) {
    const Ref<String> text = valueText(value);
    if (text) logRequirement(function, file, line, expression, CFSTR("VERIFY_ID %@"), text.get());
}

int __import_objc_RequiredObjectiveC(void) { return 1; }

} // extern "C"
