#pragma once

// A payload copy assembled where only root can enter, made safe to show and
// then put in place in one step.

#include <optional>
#include <string>

// Refuses a copy that is a symbolic link or holds a device node, FIFO or
// socket, and takes the set-user-id, set-group-id and group- and
// others-write bits off every file and folder in it. The reason it was
// refused, or nothing.
std::optional<std::string> sealStagedCopy(const std::string& staged);

// Renames `staged` to `destination`: exchanged with what is there when
// `replacing` (which then lies at `staged`), else only while nothing is
// there. Why it failed, or nothing.
std::optional<std::string> moveIntoPlace(const std::string& staged, const std::string& destination, bool replacing);
