#pragma once

// A payload copy assembled where only root can enter, made safe to show,
// checked whole, put on stable storage and then put in place in one step.

#include "Foundation/ErrorOr.h"

#include <string>

// Refuses a copy that is a symbolic link or holds a device node, FIFO or
// socket, and takes the set-user-id, set-group-id and group- and
// others-write bits off every file and folder in it.
platform::ErrorOr<void> sealStagedCopy(const std::string& staged);

// Fails with what of `source` the copy at `staged` lacks: an entry missing,
// of another kind, or a file of another size. Entries only the copy has
// (those of an installed copy it was merged over) may stay.
platform::ErrorOr<void> checkCopyIsWhole(const std::string& source, const std::string& staged);

// Puts everything written to the file system holding `path` on stable
// storage: one journal commit, where a sync of each file of a copy would
// take one each.
platform::ErrorOr<void> syncFileSystemOf(const std::string& path);

// Puts the entries of the folder holding `path` on stable storage.
platform::ErrorOr<void> syncFolderOf(const std::string& path);

// Renames `staged` to `destination`: exchanged with what is there when
// `replacing` (which then lies at `staged`), else only while nothing is
// there; then the names of both folders are put on stable storage.
platform::ErrorOr<void> moveIntoPlace(const std::string& staged, const std::string& destination, bool replacing);
