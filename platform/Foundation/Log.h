#pragma once

#include "Foundation/String.h"

#include <cstdarg>
#include <ctime>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform {

// The journal's priorities of entries.
enum class LogPriority { Error = 3, Warning = 4, Notice = 5 };

namespace detail {
constexpr bool saysAnyOf(std::string_view text, std::initializer_list<std::string_view> words) {
    for (const std::string_view word : words) {
        if (text.find(word) != std::string_view::npos) return true;
    }
    return false;
}
} // namespace detail

// The priority a line's own words give it: an error when it says something
// failed or was not done, a warning when it refuses or goes on with less
// than it should have, a notice otherwise.
constexpr LogPriority priorityOfLine(std::string_view text) {
    if (detail::saysAnyOf(text, {"nothing was", "failed", "could not", "cannot", "gave up", "raised", "Unable to"})) {
        return LogPriority::Error;
    }
    if (detail::saysAnyOf(text, {"refused", "unfenced", "without a read-only view", "stays in its caller's",
                                 "is not an application class", "no window is shown", "left as it is"})) {
        return LogPriority::Warning;
    }
    return LogPriority::Notice;
}

// A checked format of a log entry, with the priority its words give it.
template <class... Args>
class LogFormat : public CheckedFormat<Args...> {
public:
    consteval LogFormat(const char* text) : CheckedFormat<Args...>(text), priority_(priorityOfLine(text)) {}
    LogPriority priority() const { return priority_; }

private:
    LogPriority priority_;
};

// Writes one entry to standard error, as
//   YYYY-MM-DD HH:MM:SS.mmm name[pid:tid] text
// (no second newline when the text ends in one), and the same text to the
// system journal, at the priority the format's words give it. The format
// takes printf conversions plus %@, checked against the arguments when
// compiling (Foundation/CheckedFormat.h).
template <class... Args>
void NSLog(LogFormat<std::type_identity_t<Args>...> format, const Args&... args);

// As NSLog, for a format read while running; the entry is a notice.
void NSLogv(const char* format, va_list arguments);

// Writes a finished text as the whole entry; it is never read as a format.
void NSLogText(std::string_view text, LogPriority priority = LogPriority::Notice);
// Writes a finished text to the system journal only: for what the journal's
// readers look for by priority, such as a run's failure.
void journalEntry(LogPriority priority, std::string_view text);

// Sends nothing more of this process to the journal: for a process that
// tries code whose lines its host writes again when it runs that code.
void silenceJournal();

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

    void add(std::string_view text, LogPriority priority = LogPriority::Notice);
    void flush();

private:
    std::string pending_;
    std::time_t firstSecond_ = 0;
};

// The text with its control characters (C0, DEL and C1) and the bytes that
// are not UTF-8 written as escapes (\n, \t, \r, \xHH, \u0085): text from
// outside can then neither start a line of its own nor command a terminal.
std::string escapedControlCharacters(std::string_view text);

// As NSLog, with every %@ and %s argument escaped as above, for lines that
// carry values from outside. The format's own text stands as it is.
template <class... Args>
void NSLogEscaped(LogFormat<std::type_identity_t<Args>...> format, const Args&... args);

namespace detail {
void NSLogVariadic(LogPriority priority, const char* format, ...);

// A C string argument of NSLogEscaped, escaped.
struct EscapedText {
    bool absent = false;
    std::string text;
};
inline const char* formatArgument(const EscapedText& value) { return value.absent ? nullptr : value.text.c_str(); }
Ref<String> escapedDescription(const Object* object);

template <class T>
auto escapedArgument(const T& value) {
    using Value = std::decay_t<T>;
    if constexpr (std::is_same_v<Value, const char*> || std::is_same_v<Value, char*>) {
        const char* text = value;
        return text == nullptr ? EscapedText{true, {}} : EscapedText{false, escapedControlCharacters(text)};
    } else if constexpr (std::is_arithmetic_v<Value> || std::is_enum_v<Value>) {
        return value;
    } else {
        return escapedDescription(formatArgument(value));
    }
}
} // namespace detail

template <class... Args>
void NSLog(LogFormat<std::type_identity_t<Args>...> format, const Args&... args) {
    detail::NSLogVariadic(format.priority(), format.text(), detail::formatArgument(args)...);
}

template <class... Args>
void NSLogEscaped(LogFormat<std::type_identity_t<Args>...> format, const Args&... args) {
    using detail::formatArgument;
    detail::NSLogVariadic(format.priority(), format.text(), formatArgument(detail::escapedArgument(args))...);
}

} // namespace platform
