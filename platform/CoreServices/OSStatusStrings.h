#pragma once

// The symbolic name and a one-line comment of a status code, as static C
// strings. A code missing from the table gets "unknown" and a comment saying
// so.

#include "CoreServices/MacTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

const char* GetMacOSStatusErrorString(OSStatus status);
const char* GetMacOSStatusCommentString(OSStatus status);

#ifdef __cplusplus
}
#endif
