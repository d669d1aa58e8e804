#pragma once

#include "objc/Object.h"

namespace platform {

// The singleton that stands for "no value" inside collections.
class Null final : public Object {
public:
    static const Class classRecord;  // "NSNull"
    const Class& objectClass() const override { return classRecord; }

    static Null* null();
    Ref<String> description() const override;

private:
    Null();
};

} // namespace platform
