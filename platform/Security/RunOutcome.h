#pragma once

// How a privileged run ended, left by the run (as root) where the user who
// asked for it can read it: one record per user and location, in
// /run/privet-outcomes/UID/LOCATION, readable by that user's group only and
// written by root only. The record names the destination it is about and
// when the run ended, so that a reader takes only the outcome of its own
// request.

#include "Foundation/Descriptor.h"
#include "Foundation/ErrorOr.h"

#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>

namespace platform {

struct RunOutcome {
    std::string destination;
    timespec ended{};
    bool failed = false;
    std::string reason;  // in a user's words; empty when it did not fail
};

// The folder of `requester`'s records.
std::string runOutcomeFolder(uid_t requester);

// The record's text, and the record a text holds (absent when it is not one,
// or not whole).
std::string encodeRunOutcome(const RunOutcome& outcome);
std::optional<RunOutcome> decodeRunOutcome(const std::string& text);

// Opens the record of `requester` for `location` for writing, making its
// folders (root's, the user's own readable by the user's group) as needed.
// Opened before the run confines itself, it can be written after.
ErrorOr<Descriptor> openRunOutcomeRecord(uid_t requester, const std::string& location);

// Replaces what the record at `fd` holds.
ErrorOr<void> writeRunOutcome(int fd, const RunOutcome& outcome);

// The outcome of this user's own request about `destination` in `location`,
// when one has ended since `asked`.
std::optional<RunOutcome> readRunOutcome(const std::string& location, const std::string& destination,
                                         const timespec& asked);

} // namespace platform
