#include "Foundation/Date.h"

#include "Foundation/String.h"

#include <cmath>
#include <ctime>
#include <functional>

namespace platform {
namespace {
constexpr double kReferenceDateSince1970 = 978307200.0;  // 2001-01-01 00:00:00 UTC
}

const Class Date::classRecord{"NSDate", &Object::classRecord, Class::factoryOf<Date>()};

Date::Date(double secondsSinceReferenceDate) : seconds_(secondsSinceReferenceDate) {}

Ref<Date> Date::dateWithTimeIntervalSinceReferenceDate(double seconds) { return make<Date>(seconds); }

double Date::timeIntervalSince1970() const { return seconds_ + kReferenceDateSince1970; }

Ref<String> Date::description() const {
    const double whole = std::floor(timeIntervalSince1970());
    tm utc{};
    // Beyond what time_t and tm can hold there is no calendar date to show.
    if (!std::isfinite(whole) || whole < -6.7e10 || whole > 6.7e10) return make<String>("(invalid date)");
    const auto seconds = static_cast<std::time_t>(whole);
    if (gmtime_r(&seconds, &utc) == nullptr) return make<String>("(invalid date)");
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc);
    return make<String>(std::string(text, length));
}

bool Date::isEqual(const Object* other) const {
    const Date* date = objectAs<Date>(other);
    return date && date->seconds_ == seconds_;
}

std::size_t Date::hash() const { return std::hash<double>{}(seconds_); }

} // namespace platform
