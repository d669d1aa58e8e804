// A loadable image with classes of its own, built twice (tags "a" and "b").

#include "Foundation/String.h"
#include "objc/Object.h"

using platform::Class;
using platform::Object;
using platform::Ref;
using platform::String;

namespace {

class SharedName : public Object {
public:
    PLATFORM_CLASS_RECORD
    Ref<String> tag() { return platform::make<String>(TEST_IMAGE_TAG); }
};

const Class SharedName::classRecord{"SharedName", &Object::classRecord, Class::factoryOf<SharedName>(),
                                    {{"tag", platform::method(&SharedName::tag)}}};

class OnlyHere : public Object {
public:
    PLATFORM_CLASS_RECORD
};

const Class OnlyHere::classRecord{"OnlyIn_" TEST_IMAGE_TAG, &Object::classRecord, Class::factoryOf<OnlyHere>()};

} // namespace

extern "C" const Class* testImageSharedClass() { return &SharedName::classRecord; }

// A lookup made from inside this image.
extern "C" const Class* testImageLookUp(const char* name) {
    return Class::named(name, Class::imageContaining(reinterpret_cast<const void*>(&testImageLookUp)));
}
