#pragma once

// Key-value coding and observing: accessors for a class's key table, the
// observer interface, and the automatic announcement pair of a setter.

#include "Foundation/Number.h"
#include "objc/Object.h"

#include <exception>
#include <string>
#include <string_view>
#include <type_traits>

namespace platform {

class KeyValueObserver {
public:
    virtual ~KeyValueObserver() = default;
    virtual void observeWillChangeValueForKey(Object& object, const std::string& key);
    virtual void observeDidChangeValueForKey(Object& object, const std::string& key) = 0;
};

// Announces will-change when made and did-change when it ends: the pair a
// property's setter sends around everything it does itself. An observer
// that raises during did-change raises out of the setter; while the setter
// is already raising, the first exception is the one that goes on.
class KeyValueChange {
public:
    KeyValueChange(Object& object, std::string_view key)
        : object_(object), key_(key), raisingBefore_(std::uncaught_exceptions()) {
        object_.willChangeValueForKey(key_);
    }
    ~KeyValueChange() noexcept(false) {
        if (std::uncaught_exceptions() == raisingBefore_) {
            object_.didChangeValueForKey(key_);
            return;
        }
        try {
            object_.didChangeValueForKey(key_);
        } catch (...) {
        }
    }
    KeyValueChange(const KeyValueChange&) = delete;
    KeyValueChange& operator=(const KeyValueChange&) = delete;

private:
    Object& object_;
    std::string key_;
    int raisingBefore_;
};

namespace detail {
template <class R>
Ref<Object> boxed(R value) {
    if constexpr (std::is_same_v<R, bool>) {
        return Number::numberWithBool(value);
    } else if constexpr (std::is_integral_v<R>) {
        return Number::numberWithInteger(static_cast<std::int64_t>(value));
    } else if constexpr (std::is_floating_point_v<R>) {
        return Number::numberWithDouble(static_cast<double>(value));
    } else if constexpr (IsRef<R>::value) {
        return Ref<Object>(value);
    } else {
        static_assert(std::is_pointer_v<R>, "a key's value is a number, a bool or an object");
        return Ref<Object>(static_cast<Object*>(const_cast<std::remove_const_t<std::remove_pointer_t<R>>*>(value)));
    }
}

template <class P>
P unboxed(Object* value) {
    using Plain = std::remove_cv_t<std::remove_reference_t<P>>;
    if constexpr (std::is_same_v<Plain, bool>) {
        const Number* number = objectAs<Number>(value);
        return number && number->boolValue();
    } else if constexpr (std::is_integral_v<Plain>) {
        const Number* number = objectAs<Number>(value);
        return number ? static_cast<Plain>(number->integerValue()) : Plain{};
    } else {
        using Pointee = std::remove_const_t<std::remove_pointer_t<Plain>>;
        if constexpr (std::is_same_v<Pointee, Object>) return value;
        else return objectAs<Pointee>(value);
    }
}
} // namespace detail

// Adapts a member without arguments to a key's getter.
template <class T, class R>
Getter getter(R (T::*member)() const) {
    return [member](Object& self) { return detail::boxed<R>((static_cast<const T&>(self).*member)()); };
}
template <class T, class R>
Getter getter(R (T::*member)()) {
    return [member](Object& self) { return detail::boxed<R>((static_cast<T&>(self).*member)()); };
}

// Adapts a member with one argument to a key's setter.
template <class T, class P>
Setter setter(void (T::*member)(P)) {
    return [member](Object& self, Object* value) { (static_cast<T&>(self).*member)(detail::unboxed<P>(value)); };
}

} // namespace platform
