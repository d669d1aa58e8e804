#pragma once

#include "Foundation/PropertyListLimits.h"
#include "objc/Object.h"

#include <string_view>

namespace platform {

class String;

// Reads XML and binary property lists into the runtime's values: string →
// String, integer → Number (integer), real → Number (floating), boolean →
// Number (boolean), date → Date, data → Data, array → Array, dictionary →
// Dictionary. Null for anything that is not a whole, well-formed list within
// the limits, or that holds text which is not UTF-8.
Ref<Object> propertyListFromBytes(std::string_view bytes, const PropertyListLimits& limits = {});

// The same for a regular file; null as well for a file that is missing,
// unreadable, not a regular file or larger than the limit.
Ref<Object> propertyListWithContentsOfFile(const String* path, const PropertyListLimits& limits = {});

} // namespace platform
