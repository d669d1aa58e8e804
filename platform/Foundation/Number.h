#pragma once

#include "objc/Object.h"

#include <cstdint>

namespace platform {

// A boxed boolean, integer or floating-point value.
class Number final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSNumber"

    enum class Kind { Boolean, Integer, Floating };

    static Ref<Number> numberWithBool(bool value);
    static Ref<Number> numberWithInteger(std::int64_t value);
    static Ref<Number> numberWithDouble(double value);

    Kind kind() const { return kind_; }
    bool boolValue() const;
    std::int64_t integerValue() const;
    double doubleValue() const;

    Ref<String> stringValue() const { return description(); }
    Ref<String> description() const override;
    bool isEqual(const Object* other) const override;
    std::size_t hash() const override;

    Number(Kind kind, std::int64_t integer, double floating);

private:
    Kind kind_;
    std::int64_t integer_;
    double floating_;
};

} // namespace platform
