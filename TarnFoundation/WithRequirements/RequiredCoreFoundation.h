#pragma once

// Requirement bodies: each turns one failed check into one diagnostic line
// and returns. None of them raises, exits or changes the caller's flow.

#include "WithRequirements/RequiredBase.h"

#include "CoreFoundation/CFBase.h"

REQUIRED_EXTERN_C_BEGIN

// "REQUIREMENT - expression in function:line (file)"
REQUIRED_EXPORT void __CFRequiredBody(const char* function, const char* file, int32_t line, const char* expression);

// The object is null or not of the expected type:
// "label [expression ((actual)0xaddress) != expectedGetTypeID() (actualID!=expectedID)] FAILED
//  : in function LINE# line (file)\n" (one line)
// or, for a null object, "label expression==NULL : in function LINE# line (file)\n".
REQUIRED_EXPORT void __CFRequiredTypeOfBody(const char* label, CFTypeRef object, CFTypeID expectedTypeID,
                                            const char* file, const char* function, int32_t line,
                                            const char* expression);

// The value is null or kCFNull:
// "REQUIRED_NOT_NULL 0xvalue==NULL : expression in function LINE# line (file)\n"
REQUIRED_EXPORT void __CFRequiredNotCFNullBody(const void* value, const char* file, const char* function,
                                               int32_t line, const char* expression);

REQUIRED_EXTERN_C_END
