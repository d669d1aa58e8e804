// A format text checked when compiling against the arguments given for it.
#pragma once

#include "objc/Object.h"

#include <array>
#include <cstddef>
#include <type_traits>

namespace platform {
namespace format {

// The syntax the formatter reads and the compiler checks alike.
constexpr bool isFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '\''; }

enum class Length { None, Char, Short, Long, LongLong, IntMax, Size, PtrDiff, LongDouble };

// The length modifier at `p` (hh, h, ll, l, q, L, j, z or t), with how
// many characters it takes and how printf spells it (q is ll there).
struct LengthModifier {
    Length kind = Length::None;
    int size = 0;
    const char* text = "";
};
constexpr LengthModifier lengthModifierAt(const char* p) {
    if (p[0] == 'h' && p[1] == 'h') return {Length::Char, 2, "hh"};
    if (p[0] == 'l' && p[1] == 'l') return {Length::LongLong, 2, "ll"};
    switch (*p) {
    case 'h': return {Length::Short, 1, "h"};
    case 'l': return {Length::Long, 1, "l"};
    case 'q': return {Length::LongLong, 1, "ll"};
    case 'L': return {Length::LongDouble, 1, "L"};
    case 'j': return {Length::IntMax, 1, "j"};
    case 'z': return {Length::Size, 1, "z"};
    case 't': return {Length::PtrDiff, 1, "t"};
    default: return {};
    }
}

// What a format conversion can take.
enum class Kind { Object, Text, Integer, Floating, LongDouble, Pointer, Other };

struct Argument {
    Kind kind;
    std::size_t size;
};

template <class T>
constexpr Argument argumentOf() {
    using Value = std::remove_cv_t<T>;
    if constexpr (IsRef<Value>::value || std::is_null_pointer_v<Value>) {
        return {Kind::Object, sizeof(void*)};
    } else if constexpr (std::is_array_v<Value>) {
        return std::is_same_v<std::remove_cv_t<std::remove_extent_t<Value>>, char> ? Argument{Kind::Text, sizeof(void*)}
                                                                                 : Argument{Kind::Other, 0};
    } else if constexpr (std::is_pointer_v<Value>) {
        using Pointee = std::remove_cv_t<std::remove_pointer_t<Value>>;
        if constexpr (std::is_same_v<Pointee, char>) return {Kind::Text, sizeof(void*)};
        else if constexpr (std::is_base_of_v<Object, Pointee>) return {Kind::Object, sizeof(void*)};
        else return {Kind::Pointer, sizeof(void*)};
    } else if constexpr (std::is_integral_v<Value> || std::is_enum_v<Value>) {
        return {Kind::Integer, sizeof(Value)};
    } else if constexpr (std::is_same_v<Value, long double>) {
        return {Kind::LongDouble, sizeof(Value)};
    } else if constexpr (std::is_floating_point_v<Value>) {
        return {Kind::Floating, sizeof(Value)};
    } else {
        return {Kind::Other, 0};
    }
}

// Whether an argument fits a conversion with its length modifier: %@ an object, %s a C string, %p any pointer, * and %c an int, the
// integer conversions an integer of the size the modifier says (smaller ones
// are promoted to int), the floating ones a double (a long double with L).
constexpr bool fits(char conversion, Length length, Argument argument) {
    const bool wide = length != Length::None && length != Length::Char && length != Length::Short &&
                      length != Length::LongDouble;
    const auto integer = [&] {
        return argument.kind == Kind::Integer && (wide ? argument.size == sizeof(long) : argument.size <= sizeof(int));
    };
    switch (conversion) {
    case '@': return argument.kind == Kind::Object && length == Length::None;
    case 's': return argument.kind == Kind::Text && length == Length::None;
    case 'p':
        return length == Length::None &&
               (argument.kind == Kind::Pointer || argument.kind == Kind::Text || argument.kind == Kind::Object);
    case '*': return argument.kind == Kind::Integer && argument.size <= sizeof(int);
    case 'c': case 'C': return argument.kind == Kind::Integer && argument.size <= sizeof(int);
    case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': return length != Length::LongDouble && integer();
    case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
        return length == Length::LongDouble ? argument.kind == Kind::LongDouble : argument.kind == Kind::Floating;
    default: return false;
    }
}

// Whether `text` is a format the formatter reads whole and whose conversions
// take exactly `arguments`, in order.
template <std::size_t N>
constexpr bool formatFits(const char* text, const std::array<Argument, N>& arguments) {
    std::size_t next = 0;
    const auto take = [&](char conversion, Length length) {
        return next < N && fits(conversion, length, arguments[next++]);
    };
    for (const char* p = text; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (isFlag(*p)) ++p;
        if (*p == '*') {
            if (!take('*', Length::None)) return false;
            ++p;
        }
        while (*p >= '0' && *p <= '9') ++p;
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                if (!take('*', Length::None)) return false;
                ++p;
            }
            while (*p >= '0' && *p <= '9') ++p;
        }
        const LengthModifier length = lengthModifierAt(p);
        p += length.size;
        if (*p == '\0' || !take(*p, length.kind)) return false;
    }
    return next == N;
}

template <class... Args>
consteval bool formatFits(const char* text) {
    return formatFits(text, std::array<Argument, sizeof...(Args)>{argumentOf<Args>()...});
}

// Called only where a format does not fit its arguments, which it names in
// the compiler's message; never defined.
void conversions_do_not_take_the_arguments_given_for_them();

} // namespace format

// A format text of a call whose arguments are `Args`, taken only from a
// constant that fits them: "%d" given an object, or "%@" given a number, does
// not compile. Deduced from the call's other arguments:
//   template <class... Args> void f(CheckedFormat<std::type_identity_t<Args>...>, const Args&...);
template <class... Args>
class CheckedFormat {
public:
    consteval CheckedFormat(const char* text) : text_(text) {
        if (!format::formatFits<Args...>(text)) format::conversions_do_not_take_the_arguments_given_for_them();
    }
    const char* text() const { return text_; }

private:
    const char* text_;
};

} // namespace platform
