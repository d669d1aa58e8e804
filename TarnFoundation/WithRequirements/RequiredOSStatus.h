#pragma once

#include "WithRequirements/RequiredBase.h"

#include "CoreServices/MacTypes.h"

REQUIRED_EXTERN_C_BEGIN

// A status other than noErr:
// "REQUIRED_OSSTATUS(status) name-'comment' - expression in function:line (file)"
REQUIRED_EXPORT void __OSStatusRequiredBody(OSStatus status, const char* function, const char* file, int32_t line,
                                            const char* expression);

REQUIRED_EXTERN_C_END
