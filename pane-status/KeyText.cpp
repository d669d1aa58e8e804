#include "KeyText.h"

#include "Foundation/Number.h"
#include "Foundation/String.h"

#include <QString>

using namespace platform;

namespace panestatus {

std::string valueText(Object& controller, const char* key) {
    Ref<Object> value = controller.valueForKey(key);
    if (const Number* number = objectAs<Number>(value.get())) return number->boolValue() ? "YES" : "NO";
    if (!value) return "(absent)";
    return value->description()->text();
}

QJsonValue valueJson(Object& controller, const char* key) {
    Ref<Object> value = controller.valueForKey(key);
    if (const Number* number = objectAs<Number>(value.get())) return number->boolValue();
    if (!value) return QJsonValue::Null;
    return QString::fromStdString(value->description()->text());
}

} // namespace panestatus
