#pragma once

// The running system's version, asked afresh on every call.

#include "WithRequirements/RequiredBase.h"

REQUIRED_EXTERN_C_BEGIN

// All zero: the version is unavailable.
typedef struct TarnOperatingSystemVersion {
    int64_t major;
    int64_t minor;
    int64_t patch;
} TarnOperatingSystemVersion;

// Integer forms (major * 100 + minor * 10 + patch) of two releases. The form
// is not ordered across all releases: 10.10.0 and 11.0.0 both give 1100.
REQUIRED_EXPORT extern const int32_t TarnOperatingSystemVersion_MacOS_10_8;   // 1080
REQUIRED_EXPORT extern const int32_t TarnOperatingSystemVersion_MacOS_10_15;  // 1150

// The running version in the integer form; 0 when unavailable.
REQUIRED_EXPORT int32_t TarnOperatingSystemVersion_GetCurrent(void);
// The running version; all zero when unavailable.
REQUIRED_EXPORT TarnOperatingSystemVersion TarnOperatingSystemVersion_GetCurrentStruct(void);

// -1 when a version was obtained, 0 when not; *out is always written (zeros
// on failure). A failed query writes one REQUIRED_OSSTATUS line.
REQUIRED_EXPORT int32_t TarnOperatingSystemVersion_GetFoundation(TarnOperatingSystemVersion* out);
REQUIRED_EXPORT int32_t TarnOperatingSystemVersion_GetCoreFoundation(TarnOperatingSystemVersion* out);

REQUIRED_EXTERN_C_END
