#include "Foundation/String.h"

#include <functional>

namespace platform {

const Class String::classRecord{"NSString", &Object::classRecord, Class::factoryOf<String>()};
const Class MutableString::classRecord{"NSMutableString", &String::classRecord, Class::factoryOf<MutableString>()};

String::String(std::string text) : text_(std::move(text)) {}

Ref<String> String::stringWithUTF8String(const char* text) {
    if (text == nullptr || !isValidUTF8(text)) return nullptr;
    return make<String>(text);
}

String* String::constant(const char* text) {
    struct ConstantString final : String {
        explicit ConstantString(const char* t) : String(t) { makeImmortal(); }
    };
    return new ConstantString(text);
}

Ref<String> String::stringWithFormatV(const char* format, va_list arguments) {
    if (format == nullptr) return nullptr;
    std::string text;
    if (!appendFormat(text, format, arguments)) return nullptr;
    return make<String>(std::move(text));
}

Ref<String> String::stringWithFormatVariadic(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    Ref<String> result = stringWithFormatV(format, arguments);
    va_end(arguments);
    return result;
}

bool String::isEqualToString(const String* other) const { return other && text_ == other->text_; }

bool String::isEqual(const Object* other) const {
    const String* string = objectAs<String>(other);
    return string && isEqualToString(string);
}

std::size_t String::hash() const { return std::hash<std::string>{}(text_); }

Ref<String> String::description() const { return copy(); }

Ref<String> String::copy() const { return Ref<String>(const_cast<String*>(this)); }

Ref<MutableString> String::mutableCopy() const { return make<MutableString>(text_); }

void MutableString::appendString(const String* other) {
    if (other) text_ += other->text();
}

void MutableString::setString(const String* other) { text_ = other ? other->text() : std::string(); }

Ref<String> MutableString::copy() const { return make<String>(text_); }

// -- paths

namespace {

// The path without trailing slashes; "/" (or all slashes) stays "/".
std::string_view withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

} // namespace

Ref<String> String::lastPathComponent() const {
    std::string_view path = withoutTrailingSlashes(text_);
    if (path == "/") return make<String>("/");
    const std::size_t slash = path.rfind('/');
    return make<String>(std::string(slash == std::string_view::npos ? path : path.substr(slash + 1)));
}

Ref<String> String::stringByAppendingPathComponent(const String* component) const {
    std::string_view head = withoutTrailingSlashes(text_);
    std::string_view tail = component ? std::string_view(component->text()) : std::string_view();
    while (!tail.empty() && tail.front() == '/') tail.remove_prefix(1);
    tail = withoutTrailingSlashes(tail);
    if (tail == "/") tail = {};
    std::string joined(head);
    if (!tail.empty()) {
        if (!joined.empty() && joined.back() != '/') joined += '/';
        joined += tail;
    }
    return make<String>(std::move(joined));
}

Ref<String> String::stringByDeletingLastPathComponent() const {
    std::string_view path = withoutTrailingSlashes(text_);
    if (path == "/") return make<String>("/");
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return make<String>();
    std::string_view parent = withoutTrailingSlashes(path.substr(0, slash + 1));
    return make<String>(std::string(parent));
}

bool isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra;
        char32_t code;
        if (lead < 0x80) { ++i; continue; }
        if (lead >= 0xC2 && lead <= 0xDF) { extra = 1; code = lead & 0x1F; }
        else if (lead >= 0xE0 && lead <= 0xEF) { extra = 2; code = lead & 0x0F; }
        else if (lead >= 0xF0 && lead <= 0xF4) { extra = 3; code = lead & 0x07; }
        else return false;
        if (i + extra >= text.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        if ((extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

} // namespace platform
