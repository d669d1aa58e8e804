#pragma once

// Shared inside the library; not part of its interface.

#include "CoreFoundation/CFString.h"
#include "Foundation/String.h"

#include <cstdint>

// The load-time steps run in this order within an image.
#define REQUIRED_LOAD_STEP_LOG_QUEUE 101
#define REQUIRED_LOAD_STEP_NULL_VALUE 102
#define REQUIRED_LOAD_STEP_SYSTEM_LOG 103

namespace required {

// The formatted text; null when it cannot be made (also when a description
// raises).
platform::Ref<platform::String> format(CFStringRef format, ...);

// An address as the "0x%08lx" fields print it.
inline unsigned long addressOf(const void* pointer) {
    return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(pointer));
}

// The pointer is null or kCFNull.
inline bool isAbsent(const void* pointer) { return pointer == nullptr || pointer == kCFNull; }

} // namespace required
