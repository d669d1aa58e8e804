#pragma once

#include "WithRequirements/RequiredBase.h"

#include "CoreFoundation/CFBase.h"

REQUIRED_EXTERN_C_BEGIN

// Retains the object once and hands that reference to the current autorelease
// pool; returns the object (NULL for NULL). For property getters that give
// out objects they keep.
REQUIRED_EXPORT CFTypeRef __CFTypeRefPropertySafeRetainAndAutorelease(CFTypeRef object);

REQUIRED_EXTERN_C_END
