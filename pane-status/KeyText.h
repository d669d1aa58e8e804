// The value of a payload controller's key as pane-status prints it.
#pragma once

#include "objc/Object.h"

#include <QJsonValue>

#include <string>

namespace panestatus {

// A key's value as text: YES or NO, "(absent)", or its description.
std::string valueText(platform::Object& controller, const char* key);

// The same value in JSON: true or false, null, or its description.
QJsonValue valueJson(platform::Object& controller, const char* key);

} // namespace panestatus
