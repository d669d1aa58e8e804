#include "HelperSteps.h"

#include <grp.h>
#include <sys/stat.h>

#include <initializer_list>

using platform::Array;
using platform::make;
using platform::Object;
using platform::Ref;
using platform::String;

namespace {

StepCommand command(const char* program, std::initializer_list<const String*> arguments) {
    std::vector<Ref<Object>> list;
    for (const String* argument : arguments) list.emplace_back(const_cast<String*>(argument));
    return {make<String>(program), make<Array>(std::move(list)), nullptr};
}

Ref<String> text(const char* value) { return make<String>(value); }

} // namespace

std::string administratorsGroup() {
    for (const char* name : {"admin", "sudo", "wheel"}) {
        if (getgrnam(name) != nullptr) return name;
    }
    return "0";
}

Ref<String> stagingPathFor(const String* destination) {
    return String::stringWithFormat("%@/.%@.installing", destination->stringByDeletingLastPathComponent(),
                                    destination->lastPathComponent());
}

std::vector<StepCommand> installCommands(const String* source, const String* destination) {
    std::vector<StepCommand> steps;
    Ref<String> parent = destination->stringByDeletingLastPathComponent();
    struct stat status{};
    if (stat(parent->UTF8String(), &status) != 0) {
        steps.push_back(command("/bin/mkdir", {text("-p").get(), text("--").get(), parent.get()}));
    }
    // A new payload is assembled under a hidden name; one already there is
    // merged into in place.
    const bool merging = lstat(destination->UTF8String(), &status) == 0;
    Ref<String> target = merging ? Ref<String>(const_cast<String*>(destination)) : stagingPathFor(destination);
    if (!merging && lstat(target->UTF8String(), &status) == 0) steps.push_back(discardCommand(target.get()));
    // -T merges a folder's contents into an existing destination folder and
    // copies a plain file as a file; -P keeps symbolic links inside as links.
    steps.push_back(command("/bin/cp", {text("-R").get(), text("-P").get(), text("-T").get(),
                                        text("--preserve=mode,timestamps").get(), text("--").get(), source,
                                        target.get()}));
    if (!merging) steps.back().discardOnFailure = target;
    steps.push_back(command("/bin/chmod", {text("-R").get(), text("755").get(), text("--").get(), target.get()}));
    const Ref<String> owner = make<String>("root:" + administratorsGroup());
    steps.push_back(command("/bin/chown", {text("-R").get(), owner.get(), text("--").get(), target.get()}));
    if (!merging) {
        // -T: a folder that appeared at the destination meanwhile is not moved into.
        steps.push_back(command("/bin/mv", {text("-T").get(), text("--").get(), target.get(), destination}));
        steps.back().discardOnFailure = target;
    }
    return steps;
}

StepCommand discardCommand(const String* path) {
    return command("/bin/rm", {text("-Rdf").get(), text("--").get(), path});
}

StepCommand deleteCommand(const String* destination) {
    return command("/bin/rm", {text("-Rdvf").get(), text("--").get(), destination});
}
