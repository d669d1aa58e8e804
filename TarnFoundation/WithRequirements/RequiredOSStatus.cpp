#include "WithRequirements/RequiredOSStatus.h"

#include "WithRequirements/RequiredCoreLog.h"

#include "CoreServices/OSStatusStrings.h"

extern "C" void __OSStatusRequiredBody(OSStatus status, const char* function, const char* file, int32_t line,
                                       const char* expression) {
    const RequiredSourceLocation location{function, file, line, expression};
    __CFLogError(&location, CFSTR("REQUIRED_OSSTATUS(%ld) %s-'%s'"), static_cast<long>(status),
                 GetMacOSStatusErrorString(status), GetMacOSStatusCommentString(status));
}
