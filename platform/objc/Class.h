#pragma once

#include "objc/Ref.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>

namespace platform {

class Object;

// A member that a selector names: called with the receiver and one argument
// (null for selectors without one); returns an object or null.
using Method = std::function<Ref<Object>(Object& self, Object* argument)>;

struct SelectorEntry {
    std::string_view selector;
    Method method;
};

// Key-value coding: how one key of a class is read and written. A key
// without a setter is read-only.
using Getter = std::function<Ref<Object>(Object& self)>;
using Setter = std::function<void(Object& self, Object* value)>;

struct KeyEntry {
    std::string_view key;
    Getter getter;
    Setter setter;
};

// The runtime record of one class. A class defines one static Class; its
// constructor registers it under its name with the image (executable or
// shared object) that holds the record, and its destructor takes it out
// again when that image is unloaded.
class Class {
public:
    using Factory = Ref<Object> (*)();

    Class(const char* name, const Class* superclass, Factory factory = nullptr,
          std::initializer_list<SelectorEntry> selectors = {}, std::initializer_list<KeyEntry> keys = {});
    ~Class();
    Class(const Class&) = delete;
    Class& operator=(const Class&) = delete;

    const std::string& name() const { return name_; }
    const Class* superclass() const { return superclass_; }
    // The image holding this class's code: its load address.
    const void* image() const { return image_; }

    bool isSubclassOfClass(const Class& other) const;
    bool instancesRespondToSelector(std::string_view selector) const;
    // The method for a selector, searched up the superclass chain; null if none.
    const Method* methodForSelector(std::string_view selector) const;

    // The accessors of a key, searched up the superclass chain; null if none.
    const Getter* getterForKey(std::string_view key) const;
    const Setter* setterForKey(std::string_view key) const;

    // A new instance made by the class's factory; null for a class that
    // cannot be created by name.
    Ref<Object> createInstance() const;

    // Looks a class up by name: first among the classes of `image`, then in
    // every other loaded image in the order they registered their first class.
    static const Class* named(std::string_view name, const void* image = nullptr);

    // The image (load address) that holds the code or data at `address`;
    // null when the address belongs to no loaded image.
    static const void* imageContaining(const void* address);

    template <class T>
    static Factory factoryOf() {
        return []() -> Ref<Object> { return Ref<Object>::adopt(new T()); };
    }

private:
    std::string name_;
    const Class* superclass_;
    Factory factory_;
    std::unordered_map<std::string, Method> methods_;
    std::unordered_map<std::string, Getter> getters_;
    std::unordered_map<std::string, Setter> setters_;
    const void* image_;
};

// Adapts a member function to a Method. The member takes nothing or one
// object pointer; it returns nothing or a Ref.
template <class T, class R, class... Params>
Method method(R (T::*member)(Params...)) {
    static_assert(sizeof...(Params) <= 1, "a selector takes at most one argument");
    return [member](Object& self, [[maybe_unused]] Object* argument) -> Ref<Object> {
        T& receiver = static_cast<T&>(self);
        if constexpr (sizeof...(Params) == 0) {
            if constexpr (std::is_void_v<R>) {
                (receiver.*member)();
                return nullptr;
            } else {
                return Ref<Object>((receiver.*member)());
            }
        } else {
            if constexpr (std::is_void_v<R>) {
                (receiver.*member)(argument);
                return nullptr;
            } else {
                return Ref<Object>((receiver.*member)(argument));
            }
        }
    };
}

} // namespace platform
