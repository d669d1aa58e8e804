#pragma once

// Integer types of the platform's C interfaces.

#include <stdint.h>

typedef int32_t OSStatus;  // a status: 0 for success, negative for errors
typedef int16_t OSErr;     // the older, 16-bit status
typedef uint32_t OSType;   // four characters packed big-end first
typedef int32_t SInt32;

// The four characters of an OSType, as in 'sys1'.
#define OS_FOUR_CHAR_CODE(a, b, c, d) \
    ((OSType)(((uint32_t)(a) << 24) | ((uint32_t)(b) << 16) | ((uint32_t)(c) << 8) | (uint32_t)(d)))
