#pragma once

#include "objc/Object.h"

namespace platform {

// The singleton that stands for "no value" inside collections.
class Null final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSNull"

    static Null* null();
    Ref<String> description() const override;

private:
    Null();
};

} // namespace platform
