#pragma once

// Whether anyone but the superuser could change what a path names: the rule
// privileged programs apply to the files they act on and start.

#include "Foundation/ErrorOr.h"

#include <string>

namespace platform {

// Fails with why someone other than root could change what `path` names:
// every folder from "/" down, and the entry itself, must
// be owned by root and writable by neither group nor others; a symbolic
// link on the way must be root's and is judged by where it leads (a link to
// nothing is refused). Entries that do not exist yet end the walk: only a
// writer of the folder above them, already judged, could make them.
ErrorOr<void> onlyRootCanChange(const std::string& path);

} // namespace platform
