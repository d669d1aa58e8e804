#pragma once

// What the root side of an authorization takes from whoever started it:
// nothing. Signal dispositions and masks, resource limits, the scheduling
// priority and the environment are all set to root's own, so that a caller
// cannot turn a failing step into a success or a short copy.

namespace platform {

// The path every program of the root side finds its commands on.
inline constexpr const char* kRootSearchPath = "/usr/sbin:/usr/bin:/sbin:/bin";

// Call first thing, before any other thread or child exists.
void takeOverRootProcess();

} // namespace platform
