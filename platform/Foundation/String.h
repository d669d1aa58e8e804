#pragma once

#include "Foundation/CheckedFormat.h"
#include "objc/Object.h"

#include <cstdarg>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform {

class MutableString;

namespace detail {
// Turns one argument of a format call into what the C variadic formatter reads:
// object references become `const Object*` for %@; plain values pass as they are.
template <class T>
auto formatArgument(const T& value) {
    if constexpr (IsRef<T>::value) {
        return static_cast<const Object*>(value.get());
    } else if constexpr (std::is_null_pointer_v<T>) {
        return static_cast<const Object*>(nullptr);
    } else if constexpr (std::is_pointer_v<T> &&
                         std::is_base_of_v<Object, std::remove_cv_t<std::remove_pointer_t<T>>>) {
        return static_cast<const Object*>(value);
    } else {
        static_assert(std::is_trivially_copyable_v<T>, "format arguments are C values, C strings or objects");
        return value;
    }
}
} // namespace detail

// An immutable string of UTF-8 text.
class String : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSString"

    explicit String(std::string text = {});

    // Null for a null pointer or text that is not valid UTF-8.
    static Ref<String> stringWithUTF8String(const char* text);
    // A string that lives as long as the program (for named constants).
    static String* constant(const char* text);

    // printf conversions plus %@, which prints an object's description, or
    // "(null)" for none. Null when the format is malformed.
    template <class... Args>
    static Ref<String> stringWithFormat(CheckedFormat<std::type_identity_t<Args>...> format, const Args&... args) {
        return stringWithFormatVariadic(format.text(), detail::formatArgument(args)...);
    }
    static Ref<String> stringWithFormatV(const char* format, va_list arguments);

    const std::string& text() const { return text_; }
    const char* UTF8String() const { return text_.c_str(); }
    // Length in bytes of the UTF-8 text.
    std::size_t length() const { return text_.size(); }

    bool isEqualToString(const String* other) const;
    bool isEqual(const Object* other) const override;
    std::size_t hash() const override;
    Ref<String> description() const override;

    // Path operations, with the platform's rules: trailing "/" is disregarded,
    // a bare name is its own last component, "/" stays "/".
    Ref<String> lastPathComponent() const;
    Ref<String> stringByAppendingPathComponent(const String* component) const;
    Ref<String> stringByDeletingLastPathComponent() const;

    // An immutable copy: the string itself for an immutable string.
    virtual Ref<String> copy() const;
    Ref<MutableString> mutableCopy() const;

protected:
    std::string text_;

private:
    static Ref<String> stringWithFormatVariadic(const char* format, ...);
};

class MutableString final : public String {
public:
    PLATFORM_CLASS_RECORD  // "NSMutableString"

    explicit MutableString(std::string text = {}) : String(std::move(text)) {}

    void appendString(const String* other);
    void setString(const String* other);
    Ref<String> copy() const override;
    Ref<String> description() const override { return copy(); }
};

// Appends the formatted text to `out`; false when the format is malformed.
bool appendFormat(std::string& out, const char* format, va_list arguments);

bool isValidUTF8(std::string_view text);

} // namespace platform
