// printf-style formatting with the %@ conversion for objects.

#include "Foundation/String.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sys/types.h>

namespace platform {
namespace {

enum class Length { None, Char, Short, Long, LongLong, IntMax, Size, PtrDiff, LongDouble };

void appendUTF8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Pads `text` to `width` with blanks, on the right when left-justified.
void appendPadded(std::string& out, std::string_view text, int width, bool leftJustify) {
    const std::size_t pad = width > 0 && static_cast<std::size_t>(width) > text.size()
                                ? static_cast<std::size_t>(width) - text.size() : 0;
    if (!leftJustify) out.append(pad, ' ');
    out += text;
    if (leftJustify) out.append(pad, ' ');
}

template <class T>
void appendC(std::string& out, const std::string& directive, T value) {
    char buffer[128];
    const int needed = std::snprintf(buffer, sizeof buffer, directive.c_str(), value);
    if (needed < 0) return;
    if (static_cast<std::size_t>(needed) < sizeof buffer) {
        out.append(buffer, static_cast<std::size_t>(needed));
        return;
    }
    std::string large(static_cast<std::size_t>(needed) + 1, '\0');
    std::snprintf(large.data(), large.size(), directive.c_str(), value);
    large.resize(static_cast<std::size_t>(needed));
    out += large;
}

} // namespace

bool appendFormat(std::string& out, const char* format, va_list arguments) {
    va_list args;
    va_copy(args, arguments);
    bool ok = true;
    const char* p = format;
    while (ok && *p) {
        if (*p != '%') {
            const char* start = p;
            while (*p && *p != '%') ++p;
            out.append(start, static_cast<std::size_t>(p - start));
            continue;
        }
        // One conversion: %[flags][width][.precision][length]conversion
        std::string directive = "%";
        ++p;
        bool leftJustify = false;
        while (*p && std::string_view("-+ #0'").find(*p) != std::string_view::npos) {
            if (*p == '-') leftJustify = true;
            directive += *p++;
        }
        int width = 0;
        if (*p == '*') {
            width = va_arg(args, int);
            if (width < 0) { leftJustify = true; width = -width; if (directive.find('-') == std::string::npos) directive += '-'; }
            directive += std::to_string(width);
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') { width = width * 10 + (*p - '0'); directive += *p++; }
        }
        if (*p == '.') {
            directive += *p++;
            if (*p == '*') {
                const int precision = va_arg(args, int);
                directive += std::to_string(precision < 0 ? 0 : precision);
                ++p;
            } else {
                while (*p >= '0' && *p <= '9') directive += *p++;
            }
        }
        Length length = Length::None;
        if (p[0] == 'h' && p[1] == 'h') { length = Length::Char; directive += "hh"; p += 2; }
        else if (*p == 'h') { length = Length::Short; directive += *p++; }
        else if (p[0] == 'l' && p[1] == 'l') { length = Length::LongLong; directive += "ll"; p += 2; }
        else if (*p == 'l') { length = Length::Long; directive += *p++; }
        else if (*p == 'q') { length = Length::LongLong; directive += "ll"; ++p; }
        else if (*p == 'L') { length = Length::LongDouble; directive += *p++; }
        else if (*p == 'j') { length = Length::IntMax; directive += *p++; }
        else if (*p == 'z') { length = Length::Size; directive += *p++; }
        else if (*p == 't') { length = Length::PtrDiff; directive += *p++; }

        const char conversion = *p;
        if (conversion == '\0') { ok = false; break; }
        ++p;
        directive += conversion;
        switch (conversion) {
        case '%':
            out += '%';
            break;
        case '@': {
            const Object* object = va_arg(args, const Object*);
            Ref<String> description = object ? object->description() : nullptr;
            appendPadded(out, description ? std::string_view(description->text()) : "(null)", width, leftJustify);
            break;
        }
        case 'd': case 'i':
            switch (length) {
            case Length::Long: appendC(out, directive, va_arg(args, long)); break;
            case Length::LongLong: appendC(out, directive, va_arg(args, long long)); break;
            case Length::IntMax: appendC(out, directive, va_arg(args, intmax_t)); break;
            case Length::Size: appendC(out, directive, va_arg(args, ssize_t)); break;
            case Length::PtrDiff: appendC(out, directive, va_arg(args, ptrdiff_t)); break;
            case Length::LongDouble: ok = false; break;
            default: appendC(out, directive, va_arg(args, int)); break;
            }
            break;
        case 'o': case 'u': case 'x': case 'X':
            switch (length) {
            case Length::Long: appendC(out, directive, va_arg(args, unsigned long)); break;
            case Length::LongLong: appendC(out, directive, va_arg(args, unsigned long long)); break;
            case Length::IntMax: appendC(out, directive, va_arg(args, uintmax_t)); break;
            case Length::Size: appendC(out, directive, va_arg(args, size_t)); break;
            case Length::PtrDiff: appendC(out, directive, va_arg(args, ptrdiff_t)); break;
            case Length::LongDouble: ok = false; break;
            default: appendC(out, directive, va_arg(args, unsigned int)); break;
            }
            break;
        case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
            if (length == Length::LongDouble) appendC(out, directive, va_arg(args, long double));
            else appendC(out, directive, va_arg(args, double));
            break;
        case 'c': case 'C': {
            const int code = va_arg(args, int);
            if (length == Length::Long || conversion == 'C') {
                std::string character;
                appendUTF8(character, static_cast<char32_t>(code));
                appendPadded(out, character, width, leftJustify);
            } else {
                appendC(out, directive, code);
            }
            break;
        }
        case 's': {
            if (length != Length::None) { ok = false; break; }
            const char* text = va_arg(args, const char*);
            if (text == nullptr) appendPadded(out, "(null)", width, leftJustify);
            else appendC(out, directive, text);
            break;
        }
        case 'p': {
            const void* pointer = va_arg(args, const void*);
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "0x%lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pointer)));
            appendPadded(out, buffer, width, leftJustify);
            break;
        }
        default:
            // Unknown conversions, %n and wide strings are refused.
            ok = false;
            break;
        }
    }
    va_end(args);
    return ok;
}

} // namespace platform
