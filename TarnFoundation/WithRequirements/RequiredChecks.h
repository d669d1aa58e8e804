#pragma once

// Check sites. Each evaluates its expression once, calls the matching body
// when the requirement fails, and yields 1 when it held, 0 when not:
//
//     if (!REQUIRE_OSSTATUS(Gestalt(selector, &value))) return 0;

#include "WithRequirements/RequiredCoreFoundation.h"
#include "WithRequirements/RequiredFileName.h"
#include "WithRequirements/RequiredOSStatus.h"

#include "CoreServices/MacErrors.h"

static inline int RequiredOSStatusCheck(OSStatus status, const char* function, const char* file, int32_t line,
                                        const char* expression) {
    if (status == noErr) return 1;
    __OSStatusRequiredBody(status, function, file, line, expression);
    return 0;
}

static inline int RequiredNotCFNullCheck(const void* value, const char* function, const char* file, int32_t line,
                                         const char* expression) {
    if (value != NULL && value != (const void*)kCFNull) return 1;
    __CFRequiredNotCFNullBody(value, file, function, line, expression);
    return 0;
}

// The status must be noErr.
#define REQUIRE_OSSTATUS(expression) \
    RequiredOSStatusCheck((expression), __func__, REQUIRED_FILE_NAME, __LINE__, "SRC>>" #expression)

// The pointer must be neither null nor kCFNull.
#define REQUIRE_NOT_CFNULL(pointer) \
    RequiredNotCFNullCheck((pointer), __func__, REQUIRED_FILE_NAME, __LINE__, #pointer)
