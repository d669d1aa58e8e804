#include "AppKit/ValueTransformer.h"

#include "Foundation/Number.h"
#include "Foundation/String.h"

namespace platform {

namespace {
bool truthOf(const Object* value) {
    const Number* number = objectAs<Number>(value);
    return number ? number->boolValue() : value != nullptr;
}
} // namespace

bool isValueTransformerName(std::string_view name) {
    return name == "NSNegateBoolean" || name == "NSIsNil" || name == "NSIsNotNil";
}

Ref<Object> transformedValue(std::string_view name, Object* value) {
    if (name == "NSNegateBoolean") return Number::numberWithBool(!truthOf(value));
    if (name == "NSIsNil") return Number::numberWithBool(value == nullptr);
    if (name == "NSIsNotNil") return Number::numberWithBool(value != nullptr);
    return Ref<Object>(value);
}

bool allowsReverseTransformation(std::string_view name) { return name.empty() || name == "NSNegateBoolean"; }

Ref<Object> reverseTransformedValue(std::string_view name, Object* value) {
    if (name == "NSNegateBoolean") return Number::numberWithBool(!truthOf(value));
    return Ref<Object>(value);
}

} // namespace platform
