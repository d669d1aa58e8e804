#pragma once

#include "WithRequirements/RequiredBase.h"

REQUIRED_EXTERN_C_BEGIN

// A POSIX call failed, errno as set by it:
// "REQUIRED_POSIX_ERRNO errno=<errno> (<result>) <text> - <location>". The
// text explains the errno as a write(2) failure; other errnos get none.
REQUIRED_EXPORT void __POSIXNoErrorRequiredBody(int result, const char* function, const char* file, int32_t line,
                                                const char* expression);

REQUIRED_EXTERN_C_END
