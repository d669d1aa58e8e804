#include "HelperSteps.h"

#include "StagedCopy.h"

#include "Foundation/Log.h"
#include "Foundation/SystemCall.h"

#include <fcntl.h>
#include <grp.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string_view>

namespace sys = platform::sys;
using platform::Array;
using platform::ErrorOr;
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

// Whether `done` succeeded; when not, `log` is handed why, for its line.
template <class Log>
bool succeededOrLogged(const ErrorOr<void>& done, Log&& log) {
    if (done.isError()) log(done.error().describe().c_str());
    return !done.isError();
}

// -R: folders with their contents; -P: symbolic links inside stay links;
// -T: a folder's contents merge into an existing folder, a plain file is
// copied as a file. Owner and group are root's, not the source's.
StepCommand copyCommand(const String* from, const String* to) {
    return command("/bin/cp", {text("-R").get(), text("-P").get(), text("-T").get(),
                               text("--preserve=mode,timestamps").get(), text("--").get(), from, to});
}

bool exists(const String* path) { return !sys::lstat(path->UTF8String()).isError(); }

// An install assembles its copy in one room; a remove moves the installed
// copy into the other before it deletes anything.
constexpr std::string_view kInstallRoom = ".installing";
constexpr std::string_view kRemoveRoom = ".removing";
constexpr std::array<std::string_view, 2> kRoomKinds{kInstallRoom, kRemoveRoom};
constexpr std::size_t kRoomMarkLength = 8;

// ".NAME.installing" (or ".removing"), then "." and a mark of its own for
// each run. A name too long for that is cut, so that the room's name stays
// within the longest a folder entry may have.
std::string roomPrefixFor(const String* destination, std::string_view kind = kInstallRoom) {
    constexpr std::size_t kLongestEntry = 255;
    const std::string name = destination->lastPathComponent()->text();
    return "." + name.substr(0, kLongestEntry - 2 - kind.size() - kRoomMarkLength) + std::string(kind);
}

// The one room of earlier versions, which never cut a name.
std::string earlierRoomFor(const String* destination) {
    return "." + destination->lastPathComponent()->text() + std::string(kInstallRoom);
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

Ref<String> roomFor(const String* destination, std::string_view kind) {
    return make<String>(destination->stringByDeletingLastPathComponent()->text() + "/" +
                        roomPrefixFor(destination, kind) + "." + roomMark());
}

// The rooms earlier installs and removes of `destination` left, sorted.
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

Ref<String> stagingPathFor(const String* destination) { return roomFor(destination, kInstallRoom); }

bool isRoomFor(const String* destination, const std::string& name) {
    if (name == earlierRoomFor(destination)) return true;
    return std::any_of(kRoomKinds.begin(), kRoomKinds.end(), [&](std::string_view kind) {
        const std::string prefix = roomPrefixFor(destination, kind);
        if (name.size() != prefix.size() + 1 + kRoomMarkLength || !name.starts_with(prefix + ".")) return false;
        return std::all_of(name.end() - kRoomMarkLength, name.end(),
                           [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
    });
}

std::vector<StepCommand> installCommands(const std::string& logPrefix, const String* source,
                                         const String* destination) {
    std::vector<StepCommand> steps;
    Ref<String> parent = destination->stringByDeletingLastPathComponent();
    const Ref<String> room = stagingPathFor(destination);
    if (sys::stat(parent->UTF8String()).isError()) {
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
        return succeededOrLogged(sealStagedCopy(staged->text()), [&](const char* why) {
            platform::NSLogEscaped("%s refused to install %@: %s", logPrefix.c_str(), source, why);
        });
    };
    seal.discardOnFailure = room;
    steps.push_back(std::move(seal));

    steps.push_back(
        polled(command("/bin/chmod", {text("-R").get(), text("755").get(), text("--").get(), staged.get()})));
    steps.back().discardOnFailure = room;
    const Ref<String> owner = make<String>("root:" + administratorsGroup());
    steps.push_back(polled(command("/bin/chown", {text("-R").get(), owner.get(), text("--").get(), staged.get()})));
    steps.back().discardOnFailure = room;

    // Only a whole copy, every byte of it on disk, takes the destination's name.
    StepCommand move = command("move into place", {text("--").get(), staged.get(), destination});
    move.inProcess = [logPrefix, source = Ref<String>(const_cast<String*>(source)), staged,
                      destination = Ref<String>(const_cast<String*>(destination)), merging] {
        const ErrorOr<void> moved = [&]() -> ErrorOr<void> {
            TRY(checkCopyIsWhole(source->text(), staged->text()));
            TRY(syncFileSystemOf(staged->text()));
            return moveIntoPlace(staged->text(), destination->text(), merging);
        }();
        return succeededOrLogged(moved, [&](const char* why) {
            platform::NSLogEscaped("%s could not move the copy into place; nothing was installed at %@: %s",
                                   logPrefix.c_str(), destination, why);
        });
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

std::vector<StepCommand> removeCommands(const std::string& logPrefix, const String* destination) {
    std::vector<StepCommand> steps;
    for (const Ref<String>& left : leftRoomsFor(destination)) steps.push_back(discardCommand(left.get()));
    const Ref<String> room = roomFor(destination, kRemoveRoom);
    steps.push_back(command("/bin/mkdir", {text("-m").get(), text("700").get(), text("--").get(), room.get()}));
    steps.back().discardOnFailure = room;
    // The installed copy leaves its name whole, on disk, before anything of
    // it is deleted: a deletion that fails then leaves only the room, which
    // the next run discards.
    const Ref<String> aside = room->stringByAppendingPathComponent(destination->lastPathComponent().get());
    StepCommand leave = command("move aside", {text("--").get(), destination, aside.get()});
    leave.inProcess = [logPrefix, destination = Ref<String>(const_cast<String*>(destination)), aside] {
        const ErrorOr<void> left = [&]() -> ErrorOr<void> {
            TRY(sys::renameat2(AT_FDCWD, destination->UTF8String(), AT_FDCWD, aside->UTF8String(), RENAME_NOREPLACE));
            return syncFolderOf(destination->text());
        }();
        return succeededOrLogged(left, [&](const char* why) {
            platform::NSLogEscaped("%s could not take %@ from its place; nothing was deleted: %s", logPrefix.c_str(),
                                   destination, why);
        });
    };
    leave.discardOnFailure = room;
    steps.push_back(std::move(leave));
    steps.push_back(deleteCommand(aside.get()));
    steps.push_back(discardCommand(room.get()));
    StepCommand sync = command("sync", {text("--").get(), room.get()});
    sync.inProcess = [logPrefix, room] {
        return succeededOrLogged(syncFolderOf(room->text()), [&](const char* why) {
            platform::NSLogEscaped("%s could not put the removal on disk: %s", logPrefix.c_str(), why);
        });
    };
    steps.push_back(std::move(sync));
    return steps;
}
