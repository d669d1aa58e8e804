#pragma once

// The file name of a compile-time source path, as a pointer into the path.

#include "WithRequirements/RequiredBase.h"

REQUIRED_EXTERN_C_BEGIN

// The path separator '/' (47).
REQUIRED_EXPORT extern const char kPathSlashCharacter;

// `size` is the size of the path literal including its NUL. The position
// after the last '/', or the path itself when there is none or size is 0.
// NULL for NULL.
REQUIRED_EXPORT const char* __CFConstStaticJustFileNameASCII(const char* path, size_t size);

// The same for a NUL-terminated path.
REQUIRED_EXPORT const char* __CFConstStaticJustFileNameUTF8(const char* path);

REQUIRED_EXTERN_C_END

// The file name of the source being compiled.
#define REQUIRED_FILE_NAME __CFConstStaticJustFileNameASCII(__FILE__, sizeof(__FILE__))
