#pragma once

#include "Foundation/String.h"

#include <cstdarg>
#include <string_view>

namespace platform {

// Writes one entry to standard error, as
//   YYYY-MM-DD HH:MM:SS.mmm name[pid:tid] text
// (no second newline when the text ends in one), and the same text to the
// system journal. The format takes printf conversions plus %@.
template <class... Args>
void NSLog(const char* format, const Args&... args);

void NSLogv(const char* format, va_list arguments);

// Writes a finished text as the whole entry; it is never read as a format.
void NSLogText(std::string_view text);

namespace detail {
void NSLogVariadic(const char* format, ...);
}

template <class... Args>
void NSLog(const char* format, const Args&... args) {
    detail::NSLogVariadic(format, detail::formatArgument(args)...);
}

} // namespace platform
