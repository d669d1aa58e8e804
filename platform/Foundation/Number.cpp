#include "Foundation/Number.h"

#include "Foundation/String.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>

namespace platform {
namespace {

// The integer part of a double, held to the 64-bit range; 0 for not-a-number.
std::int64_t integerPart(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 0x1p63) return INT64_MAX;
    if (value < -0x1p63) return INT64_MIN;
    return static_cast<std::int64_t>(value);
}

} // namespace

const Class Number::classRecord{"NSNumber", &Object::classRecord};

Number::Number(Kind kind, std::int64_t integer, double floating)
    : kind_(kind), integer_(integer), floating_(floating) {}

Ref<Number> Number::numberWithBool(bool value) { return make<Number>(Kind::Boolean, value ? 1 : 0, value ? 1.0 : 0.0); }

Ref<Number> Number::numberWithInteger(std::int64_t value) {
    return make<Number>(Kind::Integer, value, static_cast<double>(value));
}

Ref<Number> Number::numberWithDouble(double value) {
    return make<Number>(Kind::Floating, integerPart(value), value);
}

bool Number::boolValue() const { return kind_ == Kind::Floating ? floating_ != 0.0 : integer_ != 0; }

std::int64_t Number::integerValue() const { return integer_; }

double Number::doubleValue() const { return floating_; }

Ref<String> Number::description() const {
    if (kind_ != Kind::Floating) return String::stringWithFormat("%lld", static_cast<long long>(integer_));
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, floating_);
    return make<String>(std::string(buffer, result.ptr));
}

bool Number::isEqual(const Object* other) const {
    const Number* number = objectAs<Number>(other);
    if (!number) return false;
    if (kind_ == Kind::Floating || number->kind_ == Kind::Floating) return floating_ == number->floating_;
    return integer_ == number->integer_;
}

std::size_t Number::hash() const { return std::hash<double>{}(floating_); }

} // namespace platform
