#pragma once

#include "CoreFoundation/CFBase.h"
#include "CoreFoundation/CFString.h"
