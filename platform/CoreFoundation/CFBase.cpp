#include "CoreFoundation/CFBase.h"

#include "Foundation/Array.h"
#include "Foundation/Dictionary.h"
#include "Foundation/Error.h"
#include "Foundation/Null.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"

#include <iterator>

using platform::Object;

namespace {

struct TypeRecord {
    CFTypeID typeID;
    const platform::Class* cls;
    const char* description;
};

// Fixed type IDs; a subclass has the type of its nearest listed class.
constexpr CFTypeID kNullTypeID = 1;
constexpr CFTypeID kStringTypeID = 2;
const TypeRecord kTypes[] = {
    {kNullTypeID, &platform::Null::classRecord, "CFNull"},
    {kStringTypeID, &platform::String::classRecord, "CFString"},
    {3, &platform::Number::classRecord, "CFNumber"},
    {4, &platform::Array::classRecord, "CFArray"},
    {5, &platform::Dictionary::classRecord, "CFDictionary"},
    {6, &platform::Error::classRecord, "CFError"},
};

const Object* asObject(CFTypeRef cf) { return static_cast<const Object*>(cf); }

} // namespace

extern "C" {

CFTypeRef CFRetain(CFTypeRef cf) {
    if (cf) asObject(cf)->retain();
    return cf;
}

void CFRelease(CFTypeRef cf) {
    if (cf) asObject(cf)->release();
}

CFIndex CFGetRetainCount(CFTypeRef cf) { return cf ? asObject(cf)->retainCount() : 0; }

CFTypeID CFGetTypeID(CFTypeRef cf) {
    if (cf == nullptr) return 0;
    // The most derived listed class wins: walk up from the object's class.
    for (const platform::Class* cls = &asObject(cf)->objectClass(); cls; cls = cls->superclass()) {
        for (const TypeRecord& type : kTypes) {
            if (type.cls == cls) return type.typeID;
        }
    }
    return 0;
}

CFStringRef CFCopyTypeIDDescription(CFTypeID typeID) {
    for (const TypeRecord& type : kTypes) {
        if (type.typeID == typeID) return platform::make<platform::String>(type.description).leak();
    }
    return nullptr;
}

CFNullRef CFNullGetValue(void) { return platform::Null::null(); }

CFTypeID CFNullGetTypeID(void) { return kNullTypeID; }

CFTypeID CFStringGetTypeID(void) { return kStringTypeID; }

} // extern "C"
