#pragma once

#include "objc/Object.h"

#include <initializer_list>
#include <vector>

namespace platform {

// An immutable, ordered list of objects.
class Array final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSArray"

    explicit Array(std::vector<Ref<Object>> objects = {});

    // The list ends at its first null element.
    static Ref<Array> arrayWithObjects(std::initializer_list<Object*> objects);

    std::size_t count() const { return objects_.size(); }
    // Raises NSRangeException for an index beyond the end.
    Object* objectAtIndex(std::size_t index) const;
    const std::vector<Ref<Object>>& objects() const { return objects_; }

    Ref<String> description() const override;
    bool isEqual(const Object* other) const override;

private:
    std::vector<Ref<Object>> objects_;
};

} // namespace platform
