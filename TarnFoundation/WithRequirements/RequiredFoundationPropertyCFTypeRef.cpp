#include "WithRequirements/RequiredFoundationPropertyCFTypeRef.h"

#include "WithRequirements/RequiredChecks.h"

#include "dispatch/dispatch.h"
#include "objc/Object.h"

#include <dlfcn.h>

namespace {

using CFAutoreleaseFunction = CFTypeRef (*)(CFTypeRef);

constexpr char kCoreFoundationPath[] = "/System/Library/Frameworks/CoreFoundation.framework/Versions/A/CoreFoundation";

// Set once each, then kept for the life of the image.
void* sCoreFoundationFramework = nullptr;
void* sCFAutoreleasePtr = nullptr;
dispatch_once_t sCoreFoundationFrameworkOnce;
dispatch_once_t sCFAutoreleaseOnce;

void SoftLinkCFAutorelease() {
    dispatch_once(&sCoreFoundationFrameworkOnce,
                  [] { sCoreFoundationFramework = dlopen(kCoreFoundationPath, 0); });
    if (REQUIRE_NOT_CFNULL(sCoreFoundationFramework)) {
        sCFAutoreleasePtr = dlsym(sCoreFoundationFramework, "CFAutorelease");
    } else {
        sCFAutoreleasePtr = nullptr;
    }
    REQUIRE_NOT_CFNULL(sCFAutoreleasePtr);
}

} // namespace

extern "C" CFTypeRef __CFTypeRefPropertySafeRetainAndAutorelease(CFTypeRef object) {
    if (object == nullptr) return nullptr;
    dispatch_once(&sCFAutoreleaseOnce, SoftLinkCFAutorelease);
    CFRetain(object);
    if (sCFAutoreleasePtr) return reinterpret_cast<CFAutoreleaseFunction>(sCFAutoreleasePtr)(object);
    return static_cast<const platform::Object*>(object)->autorelease();
}
