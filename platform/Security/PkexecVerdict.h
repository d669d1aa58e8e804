#pragma once

#include "CoreServices/MacTypes.h"

#include <string_view>

namespace platform {

// Why pkexec ended without starting the launcher, from its exit status and
// what it wrote to standard error: the user cancelled (126), polkit could
// not be reached or pkexec cannot work, no authentication agent could ask (none registered and no
// terminal for pkexec's own), or the rights were refused.
OSStatus statusOfRefusedPkexec(int exitStatus, std::string_view said);

} // namespace platform
