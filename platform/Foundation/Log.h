#pragma once

#include "Foundation/String.h"

#include <cstdarg>
#include <ctime>
#include <string>
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

// Entries that reach standard error together, in one write, when flushed.
// Used by one thread at a time. Each entry goes to the journal as it is added. It flushes by
// itself when it holds much, when an entry comes in a later second than the
// first it holds, and when it is destroyed.
class LogBatch {
public:
    LogBatch() = default;
    ~LogBatch() { flush(); }
    LogBatch(const LogBatch&) = delete;
    LogBatch& operator=(const LogBatch&) = delete;

    void add(std::string_view text);
    void flush();

private:
    std::string pending_;
    std::time_t firstSecond_ = 0;
};

namespace detail {
void NSLogVariadic(const char* format, ...);
}

template <class... Args>
void NSLog(const char* format, const Args&... args) {
    detail::NSLogVariadic(format, detail::formatArgument(args)...);
}

} // namespace platform
