#pragma once

#include "Foundation/ErrorOr.h"

#include <string>
#include <vector>

namespace platform {

// Starts `path` with argv[0] = path followed by `arguments`, in a session of
// its own, as a process that is not the caller's child (it outlives the
// caller and is never waited for).
// Its standard input and output are /dev/null; standard error is the
// caller's.
ErrorOr<void> startDetached(const std::string& path, const std::vector<std::string>& arguments);

} // namespace platform
