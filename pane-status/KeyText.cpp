#include "KeyText.h"

#include "Foundation/Number.h"
#include "Foundation/String.h"

#include <cstdio>

using namespace platform;

namespace panestatus {

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string valueText(Object& controller, const char* key, bool json) {
    Ref<Object> value = controller.valueForKey(key);
    if (const Number* number = objectAs<Number>(value.get())) {
        return number->boolValue() ? (json ? "true" : "YES") : (json ? "false" : "NO");
    }
    if (!value) return json ? "null" : "(absent)";
    const std::string text = value->description()->text();
    return json ? jsonString(text) : text;
}

} // namespace panestatus
