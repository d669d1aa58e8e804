#pragma once

#include "objc/Object.h"

namespace platform {

// A point in time, in seconds since the reference date 2001-01-01 00:00:00 UTC.
class Date final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSDate"

    explicit Date(double secondsSinceReferenceDate = 0.0);

    static Ref<Date> dateWithTimeIntervalSinceReferenceDate(double seconds);

    double timeIntervalSinceReferenceDate() const { return seconds_; }
    double timeIntervalSince1970() const;

    // YYYY-MM-DD HH:MM:SS +0000, in UTC; fractions of a second are dropped.
    Ref<String> description() const override;
    bool isEqual(const Object* other) const override;
    std::size_t hash() const override;

private:
    double seconds_;
};

} // namespace platform
