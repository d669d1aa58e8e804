#include "HelperSteps.h"

#include "StagedCopy.h"

#include "Foundation/Log.h"

#include <grp.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string_view>

using platform::Array;
using platform::make;
using platform::Object;
using platform::Ref;
using platform::String;

namespace {

StepCommand command(const char* program, std::initializer_list<const String*> arguments) {
    std::vector<Ref<Object>> list;
    for (const String* argument : arguments) list.emplace_back(const_cast<String*>(argument));
    StepCommand step;
    step.program = make<String>(program);
    step.arguments = make<Array>(std::move(list));
    return step;
}

StepCommand polled(StepCommand step) {
    step.polled = true;
    return step;
}

Ref<String> text(const char* value) { return make<String>(value); }

// -R: folders with their contents; -P: symbolic links inside stay links;
// -T: a folder's contents merge into an existing folder, a plain file is
// copied as a file. Owner and group are root's, not the source's.
StepCommand copyCommand(const String* from, const String* to) {
    return command("/bin/cp", {text("-R").get(), text("-P").get(), text("-T").get(),
                               text("--preserve=mode,timestamps").get(), text("--").get(), from, to});
}

bool exists(const String* path) {
    struct stat status{};
    return lstat(path->UTF8String(), &status) == 0;
}

constexpr std::string_view kRoomSuffix = ".installing";
constexpr std::size_t kRoomMarkLength = 8;

// ".NAME.installing", then "." and a mark of its own for each run.
std::string roomPrefixFor(const String* destination) {
    return "." + destination->lastPathComponent()->text() + std::string(kRoomSuffix);
}

std::string roomMark() {
    static constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::uint64_t seed = 0;
    if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) {
        // Unique among this machine's runs all the same.
        seed = (static_cast<std::uint64_t>(getpid()) << 40) ^
               static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    std::string mark;
    for (std::size_t i = 0; i < kRoomMarkLength; ++i, seed /= kLetters.size()) mark += kLetters[seed % kLetters.size()];
    return mark;
}

// The rooms earlier installs of `destination` left, sorted.
std::vector<Ref<String>> leftRoomsFor(const String* destination) {
    std::vector<Ref<String>> rooms;
    const std::string parent = destination->stringByDeletingLastPathComponent()->text();
    std::error_code error;
    for (std::filesystem::directory_iterator entry(parent, error), end; !error && entry != end; entry.increment(error)) {
        if (isRoomFor(destination, entry->path().filename().string())) rooms.push_back(make<String>(entry->path().string()));
    }
    std::sort(rooms.begin(), rooms.end(), [](const Ref<String>& a, const Ref<String>& b) { return a->text() < b->text(); });
    return rooms;
}

} // namespace

std::string administratorsGroup() {
    for (const char* name : {"admin", "sudo", "wheel"}) {
        if (getgrnam(name) != nullptr) return name;
    }
    return "0";
}

Ref<String> stagingPathFor(const String* destination) {
    return make<String>(destination->stringByDeletingLastPathComponent()->text() + "/" + roomPrefixFor(destination) +
                        "." + roomMark());
}

bool isRoomFor(const String* destination, const std::string& name) {
    const std::string prefix = roomPrefixFor(destination);
    if (name == prefix) return true;  // the one room of earlier versions
    if (name.size() != prefix.size() + 1 + kRoomMarkLength || !name.starts_with(prefix + ".")) return false;
    return std::all_of(name.end() - kRoomMarkLength, name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

std::vector<StepCommand> installCommands(const std::string& logPrefix, const String* source,
                                         const String* destination) {
    std::vector<StepCommand> steps;
    Ref<String> parent = destination->stringByDeletingLastPathComponent();
    const Ref<String> room = stagingPathFor(destination);
    struct stat status{};
    if (stat(parent->UTF8String(), &status) != 0) {
        steps.push_back(command("/bin/mkdir", {text("-p").get(), text("--").get(), parent.get()}));
        steps.back().discardOnFailure = room;  // nothing to discard yet, but nothing more to do either
    }
    const Ref<String> staged = room->stringByAppendingPathComponent(destination->lastPathComponent().get());
    // Rooms of runs that ended before they were done: this run holds the
    // location, and their steps died with them.
    for (const Ref<String>& left : leftRoomsFor(destination)) steps.push_back(discardCommand(left.get()));
    steps.push_back(command("/bin/mkdir", {text("-m").get(), text("700").get(), text("--").get(), room.get()}));
    steps.back().discardOnFailure = room;

    const bool merging = exists(destination);
    if (merging) {
        steps.push_back(copyCommand(destination, staged.get()));
        steps.back().discardOnFailure = room;
    }
    steps.push_back(polled(copyCommand(source, staged.get())));
    steps.back().discardOnFailure = room;

    StepCommand seal = command("seal", {text("--").get(), staged.get()});
    seal.inProcess = [logPrefix, source = Ref<String>(const_cast<String*>(source)), staged] {
        const std::optional<std::string> refusal = sealStagedCopy(staged->text());
        if (refusal) platform::NSLogEscaped("%s refused to install %@: %s", logPrefix.c_str(), source, refusal->c_str());
        return !refusal;
    };
    seal.discardOnFailure = room;
    steps.push_back(std::move(seal));

    steps.push_back(
        polled(command("/bin/chmod", {text("-R").get(), text("755").get(), text("--").get(), staged.get()})));
    const Ref<String> owner = make<String>("root:" + administratorsGroup());
    steps.push_back(polled(command("/bin/chown", {text("-R").get(), owner.get(), text("--").get(), staged.get()})));

    StepCommand move = command("move into place", {text("--").get(), staged.get(), destination});
    move.inProcess = [logPrefix, staged, destination = Ref<String>(const_cast<String*>(destination)), merging] {
        const std::optional<std::string> failure = moveIntoPlace(staged->text(), destination->text(), merging);
        if (failure) {
            platform::NSLogEscaped("%s could not move the copy into place; nothing was installed at %@: %s",
                                   logPrefix.c_str(), destination, failure->c_str());
        }
        return !failure;
    };
    move.discardOnFailure = room;
    steps.push_back(std::move(move));
    // What is left in the room: nothing after a new install, the copy it
    // replaced after a merge.
    steps.push_back(discardCommand(room.get()));
    return steps;
}

StepCommand discardCommand(const String* path) {
    return command("/bin/rm", {text("-Rdf").get(), text("--").get(), path});
}

StepCommand deleteCommand(const String* destination) {
    return polled(command("/bin/rm", {text("-Rdvf").get(), text("--").get(), destination}));
}
