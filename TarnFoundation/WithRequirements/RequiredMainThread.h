#pragma once

#include "WithRequirements/RequiredBase.h"

REQUIRED_EXTERN_C_BEGIN

// 1 when any of these holds, else 0: the caller runs on the main thread; the
// current operation queue is the main one; the current dispatch queue's label
// is the main queue's label (the same pointer).
REQUIRED_EXPORT int __NSIsRunningOnMainThread(void);

// 1 when the current dispatch queue's label is the main queue's label pointer.
REQUIRED_EXPORT int __NSIsRunningOnMainQueue(void);

REQUIRED_EXTERN_C_END
