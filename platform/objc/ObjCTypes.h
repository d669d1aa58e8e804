#pragma once

// Names for runtime objects in interfaces that C can include too. In C++
// they are the runtime's own pointer types.

#ifdef __cplusplus
namespace platform {
class Class;
class Error;
class Exception;
class Object;
}
typedef platform::Object* ObjCObjectRef;
typedef const platform::Class* ObjCClassRef;
typedef platform::Error* NSErrorRef;
typedef platform::Exception* NSExceptionRef;
#else
typedef struct ObjCObject* ObjCObjectRef;
typedef const struct ObjCClass* ObjCClassRef;
typedef struct ObjCObject* NSErrorRef;
typedef struct ObjCObject* NSExceptionRef;
#endif

// A selector is its text, such as "delegate" or "installPayload:".
typedef const char* ObjCSelector;
