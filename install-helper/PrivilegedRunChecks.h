#pragma once

// What the privileged run checks before it copies: that the source is one
// of its own bundle's payloads and nothing that could be turned against the
// machine.

#include "Foundation/ErrorOr.h"

#include <optional>
#include <string>

// The bundle that holds the running executable (X for X/Contents/Helpers/tool),
// or the folder that holds it when it lies in no bundle. Found from the
// executable itself, never from its arguments.
std::string ownBundlePath();

// Where a source lies, from its text and the folders it names: accepted
// when it is an absolute path without "." or ".." components whose folders
// resolve into `bundle`. A path elsewhere is refused with the same reason
// whether or not it exists, so that the refusal tells nobody what a folder
// only root may read holds; a path in the bundle whose folders do not exist
// is neither accepted nor refused (nothing). Accepted: the source with its
// folders resolved.
platform::ErrorOr<std::optional<std::string>> placeOfSource(const std::string& source, const std::string& bundle);

// A source is accepted when placeOfSource accepts it and it is itself a
// plain file or a folder (not a symbolic link), and holds no device node,
// FIFO or socket.
platform::ErrorOr<std::string> judgeSource(const std::string& source, const std::string& bundle);

// The first device node, FIFO or socket at or below `path` (symbolic links
// are not followed), or a folder that cannot be read; nothing when there is
// none.
std::optional<std::string> firstSpecialEntry(const std::string& path);
