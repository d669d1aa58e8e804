#pragma once

// Named value transformers a binding may apply to the value it reads:
// "NSNegateBoolean", "NSIsNil" and "NSIsNotNil".

#include "objc/Object.h"

#include <string_view>

namespace platform {

bool isValueTransformerName(std::string_view name);
// The value as the transformer gives it; the value itself for no name.
Ref<Object> transformedValue(std::string_view name, Object* value);
// Whether a value can be handed back through the transformer.
bool allowsReverseTransformation(std::string_view name);
Ref<Object> reverseTransformedValue(std::string_view name, Object* value);

} // namespace platform
