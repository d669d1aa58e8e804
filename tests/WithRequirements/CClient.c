/* A C client of the public headers. */

#include "WithRequirements/WithRequirements.h"

#include "CoreFoundation/CoreFoundation.h"

const int cClientStatusLine = __LINE__ + 2;
int cClientCheckStatus(OSStatus status) {
    return REQUIRE_OSSTATUS(status);
}

const int cClientPointerLine = __LINE__ + 2;
int cClientCheckPointer(const void* pointer) {
    return REQUIRE_NOT_CFNULL(pointer);
}

void cClientLog(int value) {
    CFStringRef name = CFStringCreateWithCString(kCFAllocatorDefault, "from C", kCFStringEncodingUTF8);
    __CFLogPrintf(CFSTR("%@ %d"), name, value);
    __CFRequiredPrintf("%s %ld", "required", (long)value);
    CFRelease(name);
}
