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
};

// Copy (merging a folder into an existing one), then mode 755 recursively,
// then owner root and the administrators' group recursively. The copy is
// preceded by the creation of the destination's missing parent folders.
std::vector<StepCommand> installCommands(const platform::String* source, const platform::String* destination);

// Recursive removal, listing what it removes.
StepCommand deleteCommand(const platform::String* destination);

// "admin" where it exists, else "sudo", else "wheel", else "0".
std::string administratorsGroup();
