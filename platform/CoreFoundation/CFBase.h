#pragma once

// The C interface to the runtime's objects. It is toll-free: a CFTypeRef is
// the address of a platform::Object, a CFStringRef that of a platform::String.

#include <stdint.h>

#ifdef __cplusplus
namespace platform {
class Dictionary;
class Null;
class String;
}
typedef const platform::String* CFStringRef;
typedef const platform::Null* CFNullRef;
typedef const platform::Dictionary* CFDictionaryRef;
extern "C" {
#else
typedef const struct __CFString* CFStringRef;
typedef const struct __CFNull* CFNullRef;
typedef const struct __CFDictionary* CFDictionaryRef;
#endif

typedef const void* CFTypeRef;
typedef unsigned long CFTypeID;
typedef long CFIndex;

// Allocators are accepted and not used.
typedef const struct __CFAllocator* CFAllocatorRef;
#define kCFAllocatorDefault ((CFAllocatorRef)0)

// Null-safe: CFRetain(NULL) returns NULL, CFRelease(NULL) does nothing.
CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
// The number of owners; 0 for NULL, a very large count for immortal objects.
CFIndex CFGetRetainCount(CFTypeRef cf);

// The type of an object: a fixed nonzero number for each class with a
// CoreFoundation type (and its subclasses), 0 for any other object or NULL.
CFTypeID CFGetTypeID(CFTypeRef cf);
// The type's name, such as "CFString", as a new string; NULL for an unknown ID.
CFStringRef CFCopyTypeIDDescription(CFTypeID typeID);

// The null singleton (the same object as platform::Null::null()).
CFNullRef CFNullGetValue(void);
CFTypeID CFNullGetTypeID(void);
#define kCFNull (CFNullGetValue())

#ifdef __cplusplus
}
#endif
