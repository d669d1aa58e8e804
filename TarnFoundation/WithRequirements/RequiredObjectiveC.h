#pragma once

// Requirement bodies about objects, and the cached null object. A class text
// is "(nil)" for a null object, else the name of the object's class.

#include "WithRequirements/RequiredBase.h"

#include "objc/ObjCTypes.h"

REQUIRED_EXTERN_C_BEGIN

// The null singleton, stored once when the library is loaded; null before.
// Compare against it to treat the null object like nil.
REQUIRED_EXPORT extern ObjCObjectRef NSRequiredNotNSNullCachedValue;

// An error is present: "REQUIRED_NSERROR_NIL <error> - <location>"
REQUIRED_EXPORT void __NSRequiredNSErrorNilBody(NSErrorRef error, const char* function, const char* file,
                                                int32_t line, const char* expression);

// Evaluating the expression raised: "REQUIRED_NO_EXCEPTION NSException{ <exception> } - <location>"
REQUIRED_EXPORT void __NSRequiredNoExceptionBody(NSExceptionRef exception, const char* file, const char* function,
                                                 int32_t line, const char* expression);

// The object's delegate has no method for the selector:
// "label <class>.delegate=<delegate> has no @selector(<selector>) - <location>"
REQUIRED_EXPORT void __NSRequiredDelegateSelectorBody(const char* label, ObjCObjectRef object,
                                                      ObjCSelector selector, const char* function,
                                                      const char* file, int32_t line, const char* expression);

// The value is nil or the null object: "REQUIRED_NOT_NIL <class>==nil|NSNull - <location>"
REQUIRED_EXPORT void __NSRequiredNotNilBody(ObjCObjectRef value, const char* function, const char* file,
                                            int32_t line, const char* expression);

// The object is not of the class: "label [<class> isKindOfClass:<required>] FAILED - <location>"
REQUIRED_EXPORT void __NSRequiredKindOfClassBody(const char* label, ObjCObjectRef object, ObjCClassRef cls,
                                                 const char* function, const char* file, int32_t line,
                                                 const char* expression);

// The value is nil or the null object: "VERIFY_ID <class>==nil|NSNull - <location>"
REQUIRED_EXPORT void __NSRequiredValidIdBody(ObjCObjectRef value, const char* function, const char* file,
                                             int32_t line, const char* expression);

// Returns 1; calling it makes this module part of a client's link.
REQUIRED_EXPORT int __import_objc_RequiredObjectiveC(void);

REQUIRED_EXTERN_C_END
