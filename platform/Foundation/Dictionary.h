#pragma once

#include "objc/Object.h"

#include <map>
#include <string>
#include <string_view>

namespace platform {

class String;

// An immutable map from string keys to objects, kept in key order.
class Dictionary final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSDictionary"

    using Storage = std::map<std::string, Ref<Object>, std::less<>>;
    explicit Dictionary(Storage entries = {});

    std::size_t count() const { return entries_.size(); }
    Object* objectForKey(const String* key) const;
    Object* objectForKey(std::string_view key) const;
    const Storage& entries() const { return entries_; }

    Ref<String> description() const override;
    bool isEqual(const Object* other) const override;

private:
    Storage entries_;
};

} // namespace platform
