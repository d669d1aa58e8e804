#pragma once

// The system commands of an install and a delete, each a program with its
// arguments. Arguments that could read as options follow "--".

#include "Foundation/Array.h"
#include "Foundation/String.h"

#include <string>
#include <vector>

struct StepCommand {
    platform::Ref<platform::String> program;
    platform::Ref<platform::Array> arguments;
    // When set and the command fails, this path is removed and the steps
    // after it are not run.
    platform::Ref<platform::String> discardOnFailure;
};

// Copy (merging a folder into an existing one), then mode 755 recursively,
// then owner root and the administrators' group recursively, preceded by
// the creation of the destination's missing parent folders.
//
// Where nothing is at the destination yet, the payload is assembled beside
// it under a hidden name and renamed into place once copied, its modes and
// owner set: a copy that fails or is cut short never shows at the
// destination as an installed payload.
std::vector<StepCommand> installCommands(const platform::String* source, const platform::String* destination);

// The hidden name an install assembles a new payload under, beside its destination.
platform::Ref<platform::String> stagingPathFor(const platform::String* destination);

// Quiet recursive removal of what a failed install left.
StepCommand discardCommand(const platform::String* path);

// Recursive removal, listing what it removes.
StepCommand deleteCommand(const platform::String* destination);

// "admin" where it exists, else "sudo", else "wheel", else "0".
std::string administratorsGroup();
