// The install helper's argument handling with any argument vector: the input
// is split at NUL bytes into at most nine entries, and an entry that begins
// with "@" stands for the pane bundle's path followed by the rest. Steps and
// privileged starts are recorded instead of carried out, and checked: a step
// acts only on the one destination that the location name and the source
// path's last component name inside the temporary Library folders (or on
// the room beside it where the copy is assembled), always behind "--"; only
// a source of the bundle's own is copied; and no step is recorded when
// there is no such destination.

#include "support/TempDir.h"

#include "HelperSteps.h"
#include "HelperTool.h"

#include "Foundation/Array.h"
#include "Foundation/FileManager.h"
#include "Foundation/String.h"
#include "Security/Authorization.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace platform;

namespace {

const HelperIdentity kIdentity{"FuzzInstallHelper", "Nov 28 2020 14:32:50"};
constexpr std::size_t kMaxEntries = 9;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "helper_arguments_fuzzer: %s\n", what.c_str());
    std::abort();
}

struct RecordedStep {
    std::string program;
    std::vector<std::string> arguments;
};

struct Start {
    std::string path;
    std::vector<std::string> arguments;
};

std::vector<Start> recordedStarts;

// Grants at once and records what it is asked to start.
class RecordingAuthority final : public Authority {
public:
    OSStatus obtainAdministratorRight(bool) override { return errAuthorizationSuccess; }
    OSStatus startPrivileged(const std::string& path, const std::vector<std::string>& arguments) override {
        recordedStarts.push_back({path, arguments});
        return errAuthorizationSuccess;
    }
};

// Temporary Library folders with an installed payload, a symbolic link at a
// destination, a pane bundle with payload sources (and a link, a FIFO and
// a folder holding one among them), and a work folder (the current folder)
// with sources of the same names.
class Fixture {
public:
    Fixture()
        : local_((root_.path() / "Library").string()),
          system_((root_.path() / "System/Library").string()),
          user_((root_.path() / "home/Library").string()),
          bundle_(std::filesystem::canonical(root_.path()).string() + "/Pane.prefPane"),
          folders_({user_, local_, system_}),
          authority_([] { return std::make_unique<RecordingAuthority>(); }) {
        namespace fs = std::filesystem;
        const fs::path work = root_.path() / "work";
        const fs::path resources = fs::path(bundle_) / "Contents/Resources";
        for (const fs::path& folder : {work, resources}) {
            for (const char* source : {"Cam.component/Contents", "-rf", "Cam.kext"}) fs::create_directories(folder / source);
        }
        fs::create_symlink(work / "Cam.kext", resources / "Link.kext");
        fs::create_symlink(work, resources / "Out");
        if (mkfifo((resources / "Pipe.component").c_str(), 0600) != 0 ||
            mkfifo((resources / "-rf/pipe").c_str(), 0600) != 0) {
            fail("cannot make the FIFOs");
        }
        fs::create_directories(fs::path(local_) / "QuickTime/Cam.component");
        fs::create_directories(fs::path(local_) / "Compositions");
        fs::create_symlink(work, fs::path(local_) / "Compositions/Cam.component");
        fs::create_directories(fs::path(system_) / "Extensions/Cam.kext");
        fs::create_directories(fs::path(user_) / "QuickTime/Cam.component");
        if (chdir(work.c_str()) != 0) fail("cannot enter the work folder");
    }

    const std::string& bundle() const { return bundle_; }

    // The folder of a location name, as this fuzzer knows the table.
    std::optional<std::string> locationFolder(const std::string& name) const {
        if (name == "Library.QuickTime") return local_ + "/QuickTime";
        if (name == "Library.CoreMediaIO") return local_ + "/CoreMediaIO/Plug-Ins/DAL";
        if (name == "Library.CoreImage") return local_ + "/Graphics/Image Units";
        if (name == "Library.QuartzComposer") return local_ + "/Graphics/Quartz Composer Plug-Ins";
        if (name == "Library.Compositions") return local_ + "/Compositions";
        if (name == "System.Library.KEXT") return system_ + "/Extensions";
        return std::nullopt;
    }

    // Whether a path lies strictly inside the local or system Library
    // folder, with no empty, "." or ".." component on the way.
    bool insideLibraryFolders(const std::string& path) const {
        for (const std::string& folder : {local_, system_}) {
            if (!path.starts_with(folder + "/")) continue;
            std::string_view rest = std::string_view(path).substr(folder.size() + 1);
            for (;;) {
                const std::size_t slash = rest.find('/');
                const std::string_view component = rest.substr(0, slash);
                if (component.empty() || component == "." || component == "..") return false;
                if (slash == std::string_view::npos) return true;
                rest.remove_prefix(slash + 1);
            }
        }
        return false;
    }

private:
    testsupport::TempDir root_;
    std::string local_;
    std::string system_;
    std::string user_;
    std::string bundle_;
    LibraryFoldersOverride folders_;
    AuthorityOverride authority_;
};

// The last component of a path: trailing "/" disregarded; absent when it
// names no entry of its own.
std::optional<std::string> entryName(const std::string& path) {
    std::string_view rest = path;
    while (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    const std::size_t slash = rest.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? rest : rest.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    return std::string(name);
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool isSymbolicLink(const std::string& path) {
    struct stat status{};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

// The destination a privileged run may act on, or none.
std::optional<std::string> expectedDestination(const Fixture& fixture, const std::vector<std::string>& entries) {
    if (entries.size() <= 5) return std::nullopt;
    for (std::size_t i = 3; i <= 5; ++i) {
        if (!isValidUTF8(entries[i])) return std::nullopt;
    }
    const std::optional<std::string> folder = fixture.locationFolder(entries[4]);
    const std::optional<std::string> name = entryName(entries[5]);
    if (!folder || !name) return std::nullopt;
    return *folder + "/" + *name;
}

// The source an install copies: an absolute path without "." or ".."
// components whose folder, resolved, lies inside the bundle, that is a plain
// file or a folder and holds no FIFO, device or socket; or none.
std::optional<std::string> acceptedSource(const Fixture& fixture, const std::string& source) {
    namespace fs = std::filesystem;
    if (!source.starts_with("/")) return std::nullopt;
    std::string_view rest = source;
    while (!rest.empty()) {
        rest.remove_prefix(std::min(rest.find_first_not_of('/'), rest.size()));
        const std::string_view component = rest.substr(0, rest.find('/'));
        if (component == "." || component == "..") return std::nullopt;
        rest.remove_prefix(component.size());
    }
    const std::optional<std::string> name = entryName(source);
    std::error_code error;
    const fs::path folder = fs::canonical(fs::path(source.substr(0, source.find_last_not_of('/') + 1)).parent_path(), error);
    if (!name || error) return std::nullopt;
    const std::string path = (folder / *name).string();
    if (!path.starts_with(fixture.bundle() + "/")) return std::nullopt;
    const fs::file_status status = fs::symlink_status(path, error);
    if (!fs::is_regular_file(status) && !fs::is_directory(status)) return std::nullopt;
    if (fs::is_directory(status)) {
        for (const auto& entry : fs::recursive_directory_iterator(path)) {
            const fs::file_status inside = entry.symlink_status();
            if (fs::is_fifo(inside) || fs::is_block_file(inside) || fs::is_character_file(inside) || fs::is_socket(inside)) {
                return std::nullopt;
            }
        }
    }
    return path;
}

// The path arguments of a step: everything after its "--".
std::vector<std::string> pathArguments(const RecordedStep& step) {
    for (std::size_t i = 0; i < step.arguments.size(); ++i) {
        if (step.arguments[i] == "--") return {step.arguments.begin() + static_cast<long>(i) + 1, step.arguments.end()};
    }
    fail(step.program + " was recorded without \"--\" before its paths");
}

bool lexists(const std::string& path) {
    struct stat status{};
    return lstat(path.c_str(), &status) == 0;
}

void checkSteps(const Fixture& fixture, const std::vector<std::string>& entries, const std::vector<RecordedStep>& steps) {
    const std::optional<std::string> destination = expectedDestination(fixture, entries);
    if (!destination) {
        if (!steps.empty()) fail("a step was recorded without a destination: " + steps.front().program);
        return;
    }
    if (!fixture.insideLibraryFolders(*destination)) fail("the destination lies outside the Library folders");

    const std::string& command = entries[3];
    const std::string& source = entries[5];
    // A payload is assembled in a room beside its destination, from the
    // installed copy (when there is one) and the source, sealed, given its
    // modes and owner, and moved into place.
    const std::string parent = destination->substr(0, destination->rfind('/'));
    const std::string name = destination->substr(destination->rfind('/') + 1);
    // The room of an earlier version, and this run's own room: that name
    // followed by "." and a mark of eight letters or digits.
    // A remove moves the installed copy into a room of the same kind,
    // ".removing" instead of ".installing".
    const std::string oldRoom = parent + "/." + name + ".installing";
    // The room a mkdir step made beside the destination, of the helper's own
    // naming (a mark of its own; the name cut where it is long), not the
    // one earlier versions used.
    const auto roomMade = [&](std::string_view kind) {
        std::string made;
        for (const RecordedStep& step : steps) {
            if (step.program != "/bin/mkdir") continue;
            const std::vector<std::string> paths = pathArguments(step);
            if (paths.size() != 1 || !paths[0].starts_with(parent + "/.") || paths[0] == oldRoom) continue;
            const std::string entry = paths[0].substr(parent.size() + 1);
            if (isRoomFor(platform::make<platform::String>(*destination).get(), entry) &&
                entry.find(kind) != std::string::npos) {
                made = paths[0];
            }
        }
        return made;
    };
    const std::string room = roomMade(".installing.");
    const std::string removal = roomMade(".removing.");
    const std::string staged = room + "/" + name;
    const bool merging = lexists(*destination);
    const std::optional<std::string> copied = acceptedSource(fixture, source);
    std::vector<std::pair<std::string, std::vector<std::string>>> expected;
    if (command == "install" && exists(source) && !isSymbolicLink(*destination) && copied) {
        if (!exists(parent)) expected.push_back({"/bin/mkdir", {parent}});
        if (room.empty()) fail("the install made no room of its own");
        if (lexists(oldRoom)) expected.push_back({"/bin/rm", {oldRoom}});
        expected.push_back({"/bin/mkdir", {room}});
        if (merging) expected.push_back({"/bin/cp", {*destination, staged}});
        expected.insert(expected.end(), {{"/bin/cp", {*copied, staged}},
                                         {"seal", {staged}},
                                         {"/bin/chmod", {staged}},
                                         {"/bin/chown", {staged}},
                                         {"move into place", {staged, *destination}},
                                         {"/bin/rm", {room}}});
    } else if (command == "delete" && exists(*destination)) {
        if (removal.empty()) fail("the remove made no room of its own");
        if (lexists(oldRoom)) expected.push_back({"/bin/rm", {oldRoom}});
        expected.insert(expected.end(), {{"/bin/mkdir", {removal}},
                                         {"move aside", {*destination, removal + "/" + name}},
                                         {"/bin/rm", {removal + "/" + name}},
                                         {"/bin/rm", {removal}},
                                         {"sync", {removal}}});
    }
    if (steps.size() != expected.size()) {
        fail("recorded " + std::to_string(steps.size()) + " steps, expected " + std::to_string(expected.size()));
    }
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const RecordedStep& step = steps[i];
        if (step.program != expected[i].first) fail("step " + step.program + " instead of " + expected[i].first);
        if (pathArguments(step) != expected[i].second) fail(step.program + " acts on other paths than the destination");
    }
    for (const auto& [program, paths] : expected) {
        for (const std::string& path : paths) {
            if (path != *copied && !fixture.insideLibraryFolders(path)) fail(program + " acts outside the Library folders");
        }
    }
}

std::vector<RecordedStep> runHelper(const Fixture& fixture, const std::vector<std::string>& entries) {
    std::vector<const char*> argv;
    for (const std::string& entry : entries) argv.push_back(entry.c_str());
    argv.push_back(nullptr);

    std::vector<RecordedStep> steps;
    const StepRunner record = [&steps](const StepCommand& step) {
        RecordedStep recorded{step.program->text(), {}};
        for (const Ref<Object>& argument : step.arguments->objects()) {
            const String* text = objectAs<String>(argument.get());
            if (text == nullptr) fail("a step argument that is not a string");
            recorded.arguments.push_back(text->text());
        }
        steps.push_back(std::move(recorded));
        return true;
    };
    const HelperEnvironment environment{record, fixture.bundle(),
                                        [](const std::string&) { return platform::ErrorOr<void>(); }};
    const int status = runInstallHelper(kIdentity, static_cast<int>(entries.size()), argv.data(), environment);
    if (status != 0) fail("exit status " + std::to_string(status) + " with every right granted");
    return steps;
}

std::vector<std::string> splitEntries(const Fixture& fixture, const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> entries;
    if (size == 0) return entries;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    while (entries.size() < kMaxEntries) {
        const std::size_t end = bytes.find('\0', at);
        entries.emplace_back(bytes.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (entries.back().starts_with('@')) entries.back().replace(0, 1, fixture.bundle());
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Fixture fixture;
    const std::vector<std::string> entries = splitEntries(fixture, data, size);

    recordedStarts.clear();
    checkSteps(fixture, entries, runHelper(fixture, entries));

    // The elevation run starts the tool of entry 1 with "--self-repair" in
    // front of the rest; the privileged run that follows is checked the same way.
    const bool elevates = entries.size() == 5 && entries[1].starts_with("/");
    if (recordedStarts.size() != (elevates ? 1u : 0u)) fail("unexpected number of privileged starts");
    if (!elevates) return 0;
    const Start start = recordedStarts.front();
    const std::vector<std::string> expected{entries[1], "--self-repair", entries[2], entries[3], entries[4]};
    if (start.path != entries[1] || start.arguments != expected) fail("the privileged start differs from entries 1 to 4");
    std::vector<std::string> privileged{start.path};
    privileged.insert(privileged.end(), start.arguments.begin(), start.arguments.end());
    checkSteps(fixture, privileged, runHelper(fixture, privileged));
    return 0;
}
