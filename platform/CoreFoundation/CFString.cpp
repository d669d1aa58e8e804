#include "CoreFoundation/CFString.h"

#include "Foundation/String.h"

#include <mutex>
#include <string>
#include <unordered_map>

using platform::String;

extern "C" {

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
    if (encoding != kCFStringEncodingUTF8) return nullptr;
    return String::stringWithUTF8String(cStr).leak();
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...) {
    va_list arguments;
    va_start(arguments, format);
    CFStringRef result = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, arguments);
    va_end(arguments);
    return result;
}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef, CFStringRef format,
                                                 va_list arguments) {
    const String* text = platform::objectAs<String>(format);
    if (text == nullptr) return nullptr;
    // A description that raises must not cross the C interface.
    try {
        return String::stringWithFormatV(text->UTF8String(), arguments).leak();
    } catch (...) {
        return nullptr;
    }
}

const char* CFStringGetCStringPtr(CFStringRef string, CFStringEncoding encoding) {
    if (string == nullptr || encoding != kCFStringEncodingUTF8) return nullptr;
    return string->UTF8String();
}

CFStringRef __CFStringMakeConstantString(const char* cStr) {
    static std::mutex* const mutex = new std::mutex;
    static auto* const constants = new std::unordered_map<std::string, String*>;
    if (cStr == nullptr) return nullptr;
    std::lock_guard lock(*mutex);
    String*& constant = (*constants)[cStr];
    if (constant == nullptr) constant = String::constant(cStr);
    return constant;
}

} // extern "C"
