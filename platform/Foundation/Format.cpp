// printf-style formatting with the %@ conversion for objects.

#include "Foundation/String.h"

#include <algorithm>
#include <cstring>
#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string_view>
#include <type_traits>
#include <sys/types.h>

namespace platform {
namespace {

using format::isFlag;
using format::Length;

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

// One conversion as printf reads it, kept to hand to snprintf.
class Directive {
public:
    // False when the directive would not fit, which no sane format needs.
    bool add(char c) {
        if (length_ + 1 >= sizeof text_) return false;
        text_[length_++] = c;
        text_[length_] = '\0';
        return true;
    }
    bool add(int number) {
        char digits[16];
        const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), number);
        for (const char* c = digits; c != end; ++c)
            if (!add(*c)) return false;
        return true;
    }
    const char* text() const { return text_; }
    char conversion() const { return text_[length_ - 1]; }
    bool isPlainText() const { return length_ == 2 && text_[1] == 's'; }
    // A decimal conversion with no flag, width, precision or narrowing to
    // short or char: what std::to_chars prints alike.
    bool isPlainDecimal() const {
        if (conversion() != 'd' && conversion() != 'i' && conversion() != 'u') return false;
        for (std::size_t i = 1; i + 1 < length_; ++i) {
            switch (text_[i]) {
            case 'l': case 'j': case 'z': case 't': break;
            default: return false;
            }
        }
        return true;
    }

private:
    char text_[64] = {'%'};
    std::size_t length_ = 1;
};

template <class T>
void appendC(std::string& out, const Directive& directive, T value) {
    if constexpr (std::is_integral_v<T>) {
        if (directive.isPlainDecimal()) {
            char digits[24];
            const auto [end, error] =
                directive.conversion() == 'u'
                    ? std::to_chars(std::begin(digits), std::end(digits), static_cast<std::make_unsigned_t<T>>(value))
                    : std::to_chars(std::begin(digits), std::end(digits), value);
            out.append(digits, end);
            return;
        }
    }
    char buffer[128];
    const int needed = std::snprintf(buffer, sizeof buffer, directive.text(), value);
    if (needed < 0) return;
    if (static_cast<std::size_t>(needed) < sizeof buffer) {
        out.append(buffer, static_cast<std::size_t>(needed));
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(needed) + 1);
    std::snprintf(out.data() + start, static_cast<std::size_t>(needed) + 1, directive.text(), value);
    out.resize(start + static_cast<std::size_t>(needed));
}

// Widths and precisions beyond this are refused rather than padded out.
constexpr int kLargestWidth = 65535;

} // namespace

bool appendFormat(std::string& out, const char* format, va_list arguments) {
    va_list args;
    va_copy(args, arguments);
    out.reserve(out.size() + std::strlen(format) + 64);
    bool ok = true;
    const char* p = format;
    while (ok && *p) {
        if (*p != '%') {
            const char* const literalEnd = strchrnul(p, '%');
            out.append(p, static_cast<std::size_t>(literalEnd - p));
            p = literalEnd;
            continue;
        }
        // One conversion: %[flags][width][.precision][length]conversion
        Directive directive;
        ++p;
        bool leftJustify = false;
        while (ok && isFlag(*p)) {
            if (*p == '-') leftJustify = true;
            ok = directive.add(*p++);
        }
        int width = 0;
        if (*p == '*') {
            width = va_arg(args, int);
            if (width < 0) {
                if (!leftJustify) ok = ok && directive.add('-');
                leftJustify = true;
                width = width == INT_MIN ? kLargestWidth + 1 : -width;
            }
            ok = ok && directive.add(width);
            ++p;
        } else {
            while (*p >= '0' && *p <= '9' && width <= kLargestWidth) {
                width = width * 10 + (*p - '0');
                ok = ok && directive.add(*p++);
            }
        }
        if (width > kLargestWidth) ok = false;
        if (*p == '.') {
            ok = ok && directive.add(*p++);
            int precision = 0;
            if (*p == '*') {
                precision = std::max(va_arg(args, int), 0);
                ok = ok && directive.add(precision);
                ++p;
            } else {
                while (*p >= '0' && *p <= '9' && precision <= kLargestWidth) {
                    precision = precision * 10 + (*p - '0');
                    ok = ok && directive.add(*p++);
                }
            }
            if (precision > kLargestWidth) ok = false;
        }
        if (!ok) break;
        const format::LengthModifier modifier = format::lengthModifierAt(p);
        const Length length = modifier.kind;
        for (const char* text = modifier.text; *text; ++text) ok = ok && directive.add(*text);
        p += modifier.size;

        const char conversion = *p;
        if (conversion == '\0' || !directive.add(conversion)) { ok = false; break; }
        ++p;
        switch (conversion) {
        case '%':
            out += '%';
            break;
        case '@': {
            const Object* object = va_arg(args, const Object*);
            // A string describes itself as its text, without a copy.
            if (const String* text = objectAs<String>(object)) {
                appendPadded(out, text->text(), width, leftJustify);
                break;
            }
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
            else if (directive.isPlainText()) out += text;
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
