#include "Foundation/Log.h"

#include "Foundation/SystemCall.h"

#include <errno.h>
#include <sys/syslog.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

namespace platform {
namespace {

std::string entryPrefix() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char stamp[64];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char prefix[160];
    std::snprintf(prefix, sizeof prefix, "%.*s.%03ld %s[%d:%d] ", static_cast<int>(length), stamp,
                  now.tv_nsec / 1000000, program_invocation_short_name, static_cast<int>(getpid()),
                  static_cast<int>(gettid()));
    return prefix;
}

} // namespace

void NSLogText(std::string_view text) {
    std::string entry = entryPrefix();
    entry += text;
    if (text.empty() || text.back() != '\n') entry += '\n';
    sys::writeAll(STDERR_FILENO, entry);

    std::string_view message = text;
    if (!message.empty() && message.back() == '\n') message.remove_suffix(1);
    sd_journal_send("MESSAGE=%.*s", static_cast<int>(message.size()), message.data(), "PRIORITY=%d", LOG_NOTICE,
                    "SYSLOG_IDENTIFIER=%s", program_invocation_short_name, nullptr);
}

void NSLogv(const char* format, va_list arguments) {
    if (Ref<String> text = String::stringWithFormatV(format, arguments)) NSLogText(text->text());
}

void detail::NSLogVariadic(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    NSLogv(format, arguments);
    va_end(arguments);
}

} // namespace platform
