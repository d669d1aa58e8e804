// The value of a payload controller's key as pane-status prints it.
#pragma once

#include "objc/Object.h"

#include <string>
#include <string_view>

namespace panestatus {

// A JSON string literal holding `text`.
std::string jsonString(std::string_view text);

// A key's value as text: YES or NO, "(absent)", or its description; with
// `json`, as a JSON value.
std::string valueText(platform::Object& controller, const char* key, bool json);

} // namespace panestatus
