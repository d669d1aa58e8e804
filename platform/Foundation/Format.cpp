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

// One conversion as written: %[flags][width][.precision][length]conversion.
struct Conversion {
    Directive directive;  // as written, '*' replaced by its number, for snprintf
    int width = 0;
    bool leftJustify = false;
    Length length = Length::None;
    char conversion = '\0';
};

// The digits of a width or precision at `p`; false when the number is larger
// than kLargestWidth or does not fit the directive.
bool parseNumber(const char*& p, Conversion& c, int& number) {
    number = 0;
    while (*p >= '0' && *p <= '9' && number <= kLargestWidth) {
        number = number * 10 + (*p - '0');
        if (!c.directive.add(*p++)) return false;
    }
    return number <= kLargestWidth;
}

// Reads the conversion after a '%' at `p`; false for one that is refused.
bool parseConversion(const char*& p, va_list& args, Conversion& c) {
    while (isFlag(*p)) {
        if (*p == '-') c.leftJustify = true;
        if (!c.directive.add(*p++)) return false;
    }
    if (*p == '*') {
        ++p;
        c.width = va_arg(args, int);
        // A negative width is a left-justified one.
        if (c.width < 0) {
            if (!c.leftJustify && !c.directive.add('-')) return false;
            c.leftJustify = true;
            c.width = c.width == INT_MIN ? kLargestWidth + 1 : -c.width;
        }
        if (!c.directive.add(c.width) || c.width > kLargestWidth) return false;
    } else if (!parseNumber(p, c, c.width)) {
        return false;
    }
    if (*p == '.') {
        if (!c.directive.add(*p++)) return false;
        int precision = 0;
        if (*p == '*') {
            ++p;
            precision = std::max(va_arg(args, int), 0);  // a negative precision is none
            if (!c.directive.add(precision) || precision > kLargestWidth) return false;
        } else if (!parseNumber(p, c, precision)) {
            return false;
        }
    }
    const format::LengthModifier modifier = format::lengthModifierAt(p);
    c.length = modifier.kind;
    for (const char* text = modifier.text; *text; ++text) {
        if (!c.directive.add(*text)) return false;
    }
    p += modifier.size;
    c.conversion = *p;
    if (c.conversion == '\0' || !c.directive.add(c.conversion)) return false;
    ++p;
    return true;
}

bool appendSigned(std::string& out, const Conversion& c, va_list& args) {
    switch (c.length) {
    case Length::Long: appendC(out, c.directive, va_arg(args, long)); return true;
    case Length::LongLong: appendC(out, c.directive, va_arg(args, long long)); return true;
    case Length::IntMax: appendC(out, c.directive, va_arg(args, intmax_t)); return true;
    case Length::Size: appendC(out, c.directive, va_arg(args, ssize_t)); return true;
    case Length::PtrDiff: appendC(out, c.directive, va_arg(args, ptrdiff_t)); return true;
    case Length::LongDouble: return false;
    default: appendC(out, c.directive, va_arg(args, int)); return true;
    }
}

bool appendUnsigned(std::string& out, const Conversion& c, va_list& args) {
    switch (c.length) {
    case Length::Long: appendC(out, c.directive, va_arg(args, unsigned long)); return true;
    case Length::LongLong: appendC(out, c.directive, va_arg(args, unsigned long long)); return true;
    case Length::IntMax: appendC(out, c.directive, va_arg(args, uintmax_t)); return true;
    case Length::Size: appendC(out, c.directive, va_arg(args, size_t)); return true;
    case Length::PtrDiff: appendC(out, c.directive, va_arg(args, ptrdiff_t)); return true;
    case Length::LongDouble: return false;
    default: appendC(out, c.directive, va_arg(args, unsigned int)); return true;
    }
}

void appendFloating(std::string& out, const Conversion& c, va_list& args) {
    if (c.length == Length::LongDouble) {
        appendC(out, c.directive, va_arg(args, long double));
    } else {
        appendC(out, c.directive, va_arg(args, double));
    }
}

// %lc and %C print a character code as UTF-8; %c a byte.
void appendCharacter(std::string& out, const Conversion& c, va_list& args) {
    const int code = va_arg(args, int);
    if (c.length != Length::Long && c.conversion != 'C') {
        appendC(out, c.directive, code);
        return;
    }
    std::string character;
    appendUTF8(character, static_cast<char32_t>(code));
    appendPadded(out, character, c.width, c.leftJustify);
}

bool appendText(std::string& out, const Conversion& c, va_list& args) {
    if (c.length != Length::None) return false;  // wide strings are refused
    const char* text = va_arg(args, const char*);
    if (text == nullptr) {
        appendPadded(out, "(null)", c.width, c.leftJustify);
    } else if (c.directive.isPlainText()) {
        out += text;
    } else {
        appendC(out, c.directive, text);
    }
    return true;
}

void appendPointer(std::string& out, const Conversion& c, va_list& args) {
    const void* pointer = va_arg(args, const void*);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(pointer)));
    appendPadded(out, buffer, c.width, c.leftJustify);
}

// %@: an object's description; a string describes itself as its text, without a copy.
void appendObject(std::string& out, const Conversion& c, va_list& args) {
    const Object* object = va_arg(args, const Object*);
    if (const String* text = objectAs<String>(object)) {
        appendPadded(out, text->text(), c.width, c.leftJustify);
        return;
    }
    Ref<String> description = object ? object->description() : nullptr;
    appendPadded(out, description ? std::string_view(description->text()) : "(null)", c.width, c.leftJustify);
}

// Appends what the conversion prints of its argument; false for a
// conversion that is refused (unknown ones, %n and wide strings).
bool appendConversion(std::string& out, const Conversion& c, va_list& args) {
    switch (c.conversion) {
    case '%': out += '%'; return true;
    case '@': appendObject(out, c, args); return true;
    case 'd': case 'i': return appendSigned(out, c, args);
    case 'o': case 'u': case 'x': case 'X': return appendUnsigned(out, c, args);
    case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
        appendFloating(out, c, args);
        return true;
    case 'c': case 'C': appendCharacter(out, c, args); return true;
    case 's': return appendText(out, c, args);
    case 'p': appendPointer(out, c, args); return true;
    default: return false;
    }
}

} // namespace

bool appendFormat(std::string& out, const char* format, va_list arguments) {
    va_list args;
    va_copy(args, arguments);
    out.reserve(out.size() + std::strlen(format) + 64);
    bool ok = true;
    for (const char* p = format; ok && *p;) {
        if (*p != '%') {
            const char* const literalEnd = strchrnul(p, '%');
            out.append(p, static_cast<std::size_t>(literalEnd - p));
            p = literalEnd;
            continue;
        }
        ++p;
        Conversion conversion;
        ok = parseConversion(p, args, conversion) && appendConversion(out, conversion, args);
    }
    va_end(args);
    return ok;
}

} // namespace platform
