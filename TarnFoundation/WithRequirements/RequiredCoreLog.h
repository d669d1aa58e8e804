#pragma once

// The diagnostic output layer: lines are formatted on the calling thread and
// written, one at a time and in submission order, on the library's serial
// log queue, first to the hook (if set), then to the system log.
//
// A pointer argument that is null or kCFNull counts as absent; a format or
// line that is not a string is refused. Either way nothing is written.

#include "WithRequirements/RequiredBase.h"

#include "CoreFoundation/CFString.h"

REQUIRED_EXTERN_C_BEGIN

// Where a requirement failed. Lives on the caller's stack for one call.
typedef struct RequiredSourceLocation {
    const char* function;
    const char* file;
    int32_t line;
    const char* expression;
} RequiredSourceLocation;

// Sees each queued line on the log queue before it is written. It borrows the
// line; to keep it, it retains it.
typedef void (*CFLogStringFnPtr)(CFStringRef line);

// Queues the line unchanged. It is never read as a format.
REQUIRED_EXPORT void __CFLogStringRefOnQueue(CFStringRef line);

// Formats (printf conversions and %@) and queues the result.
REQUIRED_EXPORT void __CFLogPrintf(CFStringRef format, ...);
REQUIRED_EXPORT void __CFNSLog(CFStringRef format, ...);

// The same with a UTF-8 C format.
REQUIRED_EXPORT void __CFRequiredPrintf(const char* format, ...);

// "prefix format" is the format: conversions in the prefix take effect too.
REQUIRED_EXPORT void __CFRequiredLogPrintf(const char* prefix, const char* format, ...);

// Queues "first:second"; neither text is read as a format.
REQUIRED_EXPORT void __CFRequiredLogString(const char* first, const char* second);

// Queues the message followed by " - expression in function:line (file)".
// Null texts in the location print empty; a null location leaves all four
// slots empty.
REQUIRED_EXPORT void __CFLogError(const RequiredSourceLocation* location, CFStringRef format, ...);

// Queues a write of the object's description. The hook does not see it.
// Nothing happens for an object whose retain count is not positive.
REQUIRED_EXPORT void __CFLogShowTypeRef(CFTypeRef object);

// Sets the hook; null removes it.
REQUIRED_EXPORT void __CFLogSetLogStringFnPtr(CFLogStringFnPtr hook);

REQUIRED_EXTERN_C_END
