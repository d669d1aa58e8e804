#pragma once

// The steps of an install and a delete: system commands, each a program
// with its arguments (those that could read as options follow "--"), and
// the few checks the helper makes itself.

#include "Foundation/Array.h"
#include "Foundation/String.h"

#include <functional>
#include <string>
#include <vector>

struct StepCommand {
    platform::Ref<platform::String> program;   // a command's path, or the name of one of the helper's own steps
    platform::Ref<platform::Array> arguments;
    // When set and the step fails, this path is removed and the steps after
    // it are not run.
    platform::Ref<platform::String> discardOnFailure;
    // The copy, permission, ownership and delete commands are awaited by a
    // poll once a second; the others are waited for directly.
    bool polled = false;
    // Set for a step the helper carries out itself: it logs why it failed.
    std::function<bool()> inProcess;
};

// Copy, then mode 755 recursively, then owner root and the administrators'
// group recursively, preceded by the creation of the destination's missing
// parent folders.
//
// The payload is assembled in a room beside the destination that only root
// can enter (a new one from the source alone, a merged one from the
// installed copy with the source copied over it), made safe to show while
// there, and put in place only once its modes and owner are final: a copy
// that fails, is refused or is cut short never shows at the destination,
// and nothing set-id or writable by others ever shows at all.
// `logPrefix` begins the lines that the helper's own steps log.
std::vector<StepCommand> installCommands(const std::string& logPrefix, const platform::String* source,
                                         const platform::String* destination);

// A new room for an install to assemble a payload in, beside its
// destination: ".NAME.installing." and a mark of this run's own, so that no
// process of an earlier run can find it.
platform::Ref<platform::String> stagingPathFor(const platform::String* destination);

// Whether `name`, in the destination's folder, is a room of an install or a
// remove of it.
bool isRoomFor(const platform::String* destination, const std::string& name);

// Quiet recursive removal of what a failed install left.
StepCommand discardCommand(const platform::String* path);

// Recursive removal, listing what it removes.
StepCommand deleteCommand(const platform::String* destination);

// The installed copy moved whole into a room beside it that only root can
// enter (after the rooms earlier runs left are discarded), its name's
// leaving put on disk; then its recursive, listed removal, and the room's.
std::vector<StepCommand> removeCommands(const std::string& logPrefix, const platform::String* destination);

// "admin" where it exists, else "sudo", else "wheel", else "0".
std::string administratorsGroup();
