#include "Foundation/Null.h"

#include "Foundation/String.h"

namespace platform {

const Class Null::classRecord{"NSNull", &Object::classRecord};

Null::Null() { makeImmortal(); }

Null* Null::null() {
    static Null* const singleton = new Null;
    return singleton;
}

Ref<String> Null::description() const { return make<String>("<null>"); }

} // namespace platform
