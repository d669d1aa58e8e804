#include "Foundation/Log.h"

#include "Foundation/SystemCall.h"

#include <errno.h>
#include <pthread.h>
#include <sys/syslog.h>
#include <sys/uio.h>
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace platform {
namespace {

constexpr std::size_t kBatchLimit = 64 * 1024;

// Bumped in a forked child, whose process and thread IDs differ from those
// its parent's thread cached.
std::atomic<unsigned> forkGeneration{0};
[[maybe_unused]] const int forkWatch =
    pthread_atfork(nullptr, nullptr, [] { forkGeneration.fetch_add(1, std::memory_order_relaxed); });

// The parts of an entry's prefix that change at most once a second, made
// again only when they do: "YYYY-MM-DD HH:MM:SS" and " name[pid:tid] ".
struct PrefixParts {
    std::time_t second = -1;
    char stamp[32] = {};
    std::size_t stampLength = 0;
    unsigned generation = ~0u;
    char process[128] = {};
    std::size_t processLength = 0;

    void refresh(const timespec& now) {
        const unsigned current = forkGeneration.load(std::memory_order_relaxed);
        if (generation != current) {
            generation = current;
            const int length = std::snprintf(process, sizeof process, " %s[%d:%d] ", program_invocation_short_name,
                                             static_cast<int>(getpid()), static_cast<int>(gettid()));
            processLength = length < 0 ? 0 : std::min(static_cast<std::size_t>(length), sizeof process - 1);
        }
        if (second != now.tv_sec) {
            second = now.tv_sec;
            tm local{};
            localtime_r(&now.tv_sec, &local);
            stampLength = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
        }
    }
};

thread_local PrefixParts prefixParts;

void appendEntry(std::string& out, const timespec& now, std::string_view text) {
    prefixParts.refresh(now);
    const long milliseconds = now.tv_nsec / 1000000;
    const char fraction[4] = {'.', static_cast<char>('0' + milliseconds / 100),
                              static_cast<char>('0' + milliseconds / 10 % 10), static_cast<char>('0' + milliseconds % 10)};
    out.append(prefixParts.stamp, prefixParts.stampLength);
    out.append(fraction, sizeof fraction);
    out.append(prefixParts.process, prefixParts.processLength);
    out += text;
    if (text.empty() || text.back() != '\n') out += '\n';
}

// Whether the journal's socket is there is looked up once a second: on a
// machine without one, a send would walk the path for every entry only to be
// dropped.
std::atomic<std::time_t> journalLookedUpIn{-1};
std::atomic<bool> journalPresent{false};
std::atomic<bool> journalSilenced{false};

bool journalRunning(std::time_t second) {
    if (journalLookedUpIn.load(std::memory_order_acquire) != second) {
        journalPresent.store(!sys::access("/run/systemd/journal/socket", F_OK).isError(), std::memory_order_relaxed);
        journalLookedUpIn.store(second, std::memory_order_release);
    }
    return journalPresent.load(std::memory_order_relaxed);
}

void sendToJournal(std::time_t second, std::string_view text, int level) {
    if (journalSilenced.load(std::memory_order_relaxed) || !journalRunning(second)) return;
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    static const std::string identifier = std::string("SYSLOG_IDENTIFIER=") + program_invocation_short_name;
    const std::string priority = "PRIORITY=" + std::to_string(level);
    thread_local std::string message;
    message.assign("MESSAGE=").append(text);
    iovec fields[] = {{message.data(), message.size()},
                      {const_cast<char*>(priority.data()), priority.size()},
                      {const_cast<char*>(identifier.data()), identifier.size()}};
    sd_journal_sendv(fields, 3);
}

} // namespace

void LogBatch::add(std::string_view text, LogPriority priority) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (!pending_.empty() && now.tv_sec != firstSecond_) flush();
    if (pending_.empty()) firstSecond_ = now.tv_sec;
    appendEntry(pending_, now, text);
    sendToJournal(now.tv_sec, text, static_cast<int>(priority));
    if (pending_.size() >= kBatchLimit) flush();
}

void LogBatch::flush() {
    if (pending_.empty()) return;
    (void)sys::writeAll(STDERR_FILENO, pending_);
    pending_.clear();
    if (pending_.capacity() > 4 * kBatchLimit) pending_.shrink_to_fit();
}

std::string escapedControlCharacters(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    const auto escapeByte = [](std::string& out, const char* prefix, unsigned char byte) {
        out.append(prefix);
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
            ++at;
            continue;
        }
        if (byte < 0x80) {
            if (byte == '\n') out += "\\n";
            else if (byte == '\t') out += "\\t";
            else if (byte == '\r') out += "\\r";
            else escapeByte(out, "\\x", byte);
            ++at;
            continue;
        }
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        if (at + length > text.size() || !isValidUTF8(text.substr(at, length))) {
            escapeByte(out, "\\x", byte);
            ++at;
            continue;
        }
        const auto second = static_cast<unsigned char>(text[at + 1]);
        if (byte == 0xC2 && second < 0xA0) escapeByte(out, "\\u00", second);  // U+0080 to U+009F
        else out.append(text.substr(at, length));
        at += length;
    }
    return out;
}

Ref<String> detail::escapedDescription(const Object* object) {
    if (object == nullptr) return nullptr;
    const Ref<String> description = object->description();
    return make<String>(escapedControlCharacters(description ? description->text() : std::string()));
}

void NSLogText(std::string_view text, LogPriority priority) {
    LogBatch entry;
    entry.add(text, priority);
}

void silenceJournal() { journalSilenced.store(true, std::memory_order_relaxed); }

void journalEntry(LogPriority priority, std::string_view text) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    sendToJournal(now.tv_sec, text, static_cast<int>(priority));
}

namespace {

void logFormatted(LogPriority priority, const char* format, va_list arguments) {
    if (Ref<String> text = String::stringWithFormatV(format, arguments)) NSLogText(text->text(), priority);
}

} // namespace

void NSLogv(const char* format, va_list arguments) { logFormatted(LogPriority::Notice, format, arguments); }

void detail::NSLogVariadic(LogPriority priority, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    logFormatted(priority, format, arguments);
    va_end(arguments);
}

} // namespace platform
