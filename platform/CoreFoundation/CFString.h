#pragma once

#include "CoreFoundation/CFBase.h"

#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t CFStringEncoding;
#define kCFStringEncodingUTF8 ((CFStringEncoding)0x08000100)

CFTypeID CFStringGetTypeID(void);

// A new string from NUL-terminated text; NULL for a null pointer, another
// encoding than UTF-8, or text that is not valid UTF-8.
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);

// A new string formatted with printf conversions plus %@ (an object's
// description). NULL when the format is null, not a string or malformed, or
// when a description cannot be made. The options are not used.
CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...);
CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc, CFDictionaryRef formatOptions,
                                                 CFStringRef format, va_list arguments);

// The text as UTF-8, valid while the string lives; NULL for NULL or another encoding.
const char* CFStringGetCStringPtr(CFStringRef string, CFStringEncoding encoding);

// The string constant for a literal: the same immortal string for equal texts.
CFStringRef __CFStringMakeConstantString(const char* cStr);

#ifdef __cplusplus
}
#define CFSTR(literal)                                                                         \
    ([]() -> CFStringRef {                                                                     \
        static const CFStringRef constant = __CFStringMakeConstantString("" literal "");       \
        return constant;                                                                       \
    }())
#else
#define CFSTR(literal) __CFStringMakeConstantString("" literal "")
#endif
