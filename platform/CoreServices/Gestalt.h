#pragma once

// Answers to system queries. Only the running system's version is known:
// the major, minor and patch numbers of the kernel release (uname), read
// afresh on every call.

#include "CoreServices/MacTypes.h"

enum {
    gestaltSystemVersionMajor = OS_FOUR_CHAR_CODE('s', 'y', 's', '1'),
    gestaltSystemVersionMinor = OS_FOUR_CHAR_CODE('s', 'y', 's', '2'),
    gestaltSystemVersionBugFix = OS_FOUR_CHAR_CODE('s', 'y', 's', '3'),
};

#ifdef __cplusplus
extern "C" {
#endif

// noErr with the answer in *response; gestaltUndefSelectorErr for another
// selector, paramErr for a null response, gestaltUnknownErr when the release
// text holds no such number. *response is written only on success.
OSErr Gestalt(OSType selector, SInt32* response);

#ifdef __cplusplus
}

namespace platform {
// Makes Gestalt read `release` instead of the kernel's; null restores the kernel's.
void setSystemReleaseForTesting(const char* release);
}
#endif
