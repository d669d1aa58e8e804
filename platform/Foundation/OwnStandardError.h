#pragma once

namespace platform {

// Makes this process's standard error its own, for a program that runs on
// behalf of a caller it does not trust: the caller can then neither stall it
// (a write that would wait for a reader is dropped), silence it for others,
// nor kill it (SIGPIPE is ignored, here and in the programs it starts). A
// file stays as it is; a pipe or terminal the caller may write to is
// opened again for this process alone, without blocking; anything else is
// replaced by /dev/null.
void ownStandardError();

} // namespace platform
