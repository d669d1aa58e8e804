#include "WithRequirements/RequiredDispatch.h"

#include "WithRequirements/RequiredCoreLog.h"
#include "WithRequirements/RequiredPrivate.h"

extern "C" {

void __BlockPtrRequiredBody(const char* label, const void* block, const char* function, const char* file,
                            int32_t line, const char* expression) {
    const RequiredSourceLocation location{function, file, line, expression};
    __CFLogError(&location, CFSTR("REQUIRED_BLOCK_PTR %s 0x%08lx==NULL"), label, required::addressOf(block));
}

void __DispatchRequiredBody(const char*, dispatch_queue_t queue, const char* function, const char* file,
                            int32_t line, const char* expression) {
    const RequiredSourceLocation location{function, file, line, expression};
    __CFLogError(&location, CFSTR("REQUIRED_DISPATCH_QUEUE 0x%08lx==NULL"), required::addressOf(queue));
}

} // extern "C"
