#pragma once

// Linkage and visibility of the requirement library's interface.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define REQUIRED_EXTERN_C_BEGIN extern "C" {
#define REQUIRED_EXTERN_C_END }
#else
#define REQUIRED_EXTERN_C_BEGIN
#define REQUIRED_EXTERN_C_END
#endif

// Public functions and constants: exported when the library is linked into a
// shared object; everything else in the library stays internal.
#define REQUIRED_EXPORT __attribute__((visibility("default")))
