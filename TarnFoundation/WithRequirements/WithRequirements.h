#pragma once

// The requirement library: checks and their diagnostic lines, the log queue,
// the system version and safe retain.

#include "WithRequirements/RequiredBase.h"
#include "WithRequirements/RequiredChecks.h"
#include "WithRequirements/RequiredCoreFoundation.h"
#include "WithRequirements/RequiredCoreLog.h"
#include "WithRequirements/RequiredDispatch.h"
#include "WithRequirements/RequiredFileName.h"
#include "WithRequirements/RequiredFoundationPropertyCFTypeRef.h"
#include "WithRequirements/RequiredMainThread.h"
#include "WithRequirements/RequiredObjectiveC.h"
#include "WithRequirements/RequiredOSStatus.h"
#include "WithRequirements/RequiredOSVersion.h"
#include "WithRequirements/RequiredPOSIX.h"
