#include "WithRequirements/RequiredCoreFoundation.h"

#include "WithRequirements/RequiredCoreLog.h"
#include "WithRequirements/RequiredPrivate.h"

#include "CoreFoundation/CFString.h"
#include "objc/AutoreleasePool.h"

using platform::Ref;
using platform::String;

namespace {

// "label description : in function LINE# line (file)\n"; nothing when the
// description could not be made.
void logTypeCheck(const char* label, const String* description, const char* file, const char* function,
                  int32_t line) {
    if (description == nullptr) return;
    __CFLogPrintf(CFSTR("%s %s : in %s LINE# %d (%s)\n"), label, description->UTF8String(), function,
                  static_cast<int>(line), file);
}

// The description of a type, or of "?" for type ID 0.
Ref<String> typeDescription(CFTypeID typeID) {
    if (typeID == 0) return platform::make<String>("?");
    return Ref<String>::adopt(const_cast<String*>(CFCopyTypeIDDescription(typeID)));
}

} // namespace

extern "C" {

void __CFRequiredBody(const char* function, const char* file, int32_t line, const char* expression) {
    const RequiredSourceLocation location{function, file, line, expression};
    __CFLogError(&location, CFSTR("REQUIREMENT"));
}

void __CFRequiredTypeOfBody(const char* label, CFTypeRef object, CFTypeID expectedTypeID, const char* file,
                            const char* function, int32_t line, const char* expression) {
    platform::AutoreleasePool pool;
    if (object == nullptr) {
        logTypeCheck(label, required::format(CFSTR("%s==NULL"), expression).get(), file, function, line);
        return;
    }
    const CFTypeID actualTypeID = CFGetTypeID(object);
    const Ref<String> actual = typeDescription(actualTypeID);
    const Ref<String> expected = Ref<String>::adopt(const_cast<String*>(CFCopyTypeIDDescription(expectedTypeID)));
    const Ref<String> description =
        required::format(CFSTR("[%s ((%@)0x%08lx) != %@GetTypeID() (%08lx!=%08lx)] FAILED"), expression,
                         actual.get(), required::addressOf(object), expected.get(), actualTypeID, expectedTypeID);
    logTypeCheck(label, description.get(), file, function, line);
}

void __CFRequiredNotCFNullBody(const void* value, const char* file, const char* function, int32_t line,
                               const char* expression) {
    platform::AutoreleasePool pool;
    const Ref<String> description = required::format(CFSTR("0x%08lx==NULL"), required::addressOf(value));
    if (description == nullptr) return;
    __CFLogPrintf(CFSTR("REQUIRED_NOT_NULL %s : %s in %s LINE# %d (%s)\n"), description->UTF8String(), expression,
                  function, static_cast<int>(line), file);
}

} // extern "C"
