#pragma once

#include "WithRequirements/RequiredBase.h"

#include "dispatch/dispatch.h"

REQUIRED_EXTERN_C_BEGIN

// A null block pointer: "REQUIRED_BLOCK_PTR label 0x00000000==NULL - <location>"
REQUIRED_EXPORT void __BlockPtrRequiredBody(const char* label, const void* block, const char* function,
                                            const char* file, int32_t line, const char* expression);

// A null queue: "REQUIRED_DISPATCH_QUEUE 0x00000000==NULL - <location>". The
// label is accepted and not printed.
REQUIRED_EXPORT void __DispatchRequiredBody(const char* label, dispatch_queue_t queue, const char* function,
                                            const char* file, int32_t line, const char* expression);

REQUIRED_EXTERN_C_END
