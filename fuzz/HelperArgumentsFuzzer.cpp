// The install helper's argument handling with any argument vector: the input
// is split at NUL bytes into at most nine entries. Steps and privileged
// starts are recorded instead of carried out, and checked: a step acts only
// on the one destination that the location name and the source path's last
// component name inside the temporary Library folders, always behind "--",
// and no step is recorded when there is no such destination.

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
// destination, and a work folder (the current folder) with payload sources.
class Fixture {
public:
    Fixture()
        : local_((root_.path() / "Library").string()),
          system_((root_.path() / "System/Library").string()),
          user_((root_.path() / "home/Library").string()),
          folders_({user_, local_, system_}),
          authority_([] { return std::make_unique<RecordingAuthority>(); }) {
        namespace fs = std::filesystem;
        const fs::path work = root_.path() / "work";
        for (const char* source : {"Cam.component/Contents", "-rf", "Cam.kext"}) fs::create_directories(work / source);
        fs::create_directories(fs::path(local_) / "QuickTime/Cam.component");
        fs::create_directories(fs::path(local_) / "Compositions");
        fs::create_symlink(work, fs::path(local_) / "Compositions/Cam.component");
        fs::create_directories(fs::path(system_) / "Extensions/Cam.kext");
        fs::create_directories(fs::path(user_) / "QuickTime/Cam.component");
        if (chdir(work.c_str()) != 0) fail("cannot enter the work folder");
    }

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
    // A payload not yet installed is assembled under a hidden name beside
    // its destination and moved into place; one already there is merged into.
    const std::string parent = destination->substr(0, destination->rfind('/'));
    const std::string hidden = parent + "/." + destination->substr(destination->rfind('/') + 1) + ".installing";
    const bool merging = lexists(*destination);
    const std::string target = merging ? *destination : hidden;
    std::vector<std::string> expectedPrograms;
    if (command == "install" && exists(source) && !isSymbolicLink(*destination)) {
        if (!exists(parent)) expectedPrograms.push_back("/bin/mkdir");
        if (!merging && lexists(hidden)) expectedPrograms.push_back("/bin/rm");
        expectedPrograms.insert(expectedPrograms.end(), {"/bin/cp", "/bin/chmod", "/bin/chown"});
        if (!merging) expectedPrograms.push_back("/bin/mv");
    } else if (command == "delete" && exists(*destination)) {
        expectedPrograms.push_back("/bin/rm");
    }
    if (steps.size() != expectedPrograms.size()) {
        fail("recorded " + std::to_string(steps.size()) + " steps, expected " + std::to_string(expectedPrograms.size()));
    }

    for (std::size_t i = 0; i < steps.size(); ++i) {
        const RecordedStep& step = steps[i];
        if (step.program != expectedPrograms[i]) fail("step " + step.program + " instead of " + expectedPrograms[i]);
        const std::vector<std::string> paths = pathArguments(step);
        if (step.program == "/bin/mkdir") {
            if (paths.size() != 1 || !destination->starts_with(paths[0] + "/") || !fixture.insideLibraryFolders(paths[0])) {
                fail("the folders made lie outside the Library folders");
            }
            continue;
        }
        std::vector<std::string> expected{target};
        if (step.program == "/bin/cp") expected = {source, target};
        if (step.program == "/bin/mv") expected = {hidden, *destination};
        if (step.program == "/bin/rm") expected = {command == "delete" ? *destination : hidden};
        if (paths != expected) fail(step.program + " acts on other paths than the destination");
    }
}

std::vector<RecordedStep> runHelper(const std::vector<std::string>& entries) {
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
    const int status = runInstallHelper(kIdentity, static_cast<int>(entries.size()), argv.data(), record);
    if (status != 0) fail("exit status " + std::to_string(status) + " with every right granted");
    return steps;
}

std::vector<std::string> splitEntries(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> entries;
    if (size == 0) return entries;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::size_t at = 0;
    while (entries.size() < kMaxEntries) {
        const std::size_t end = bytes.find('\0', at);
        entries.emplace_back(bytes.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Fixture fixture;
    const std::vector<std::string> entries = splitEntries(data, size);

    recordedStarts.clear();
    checkSteps(fixture, entries, runHelper(entries));

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
    checkSteps(fixture, privileged, runHelper(privileged));
    return 0;
}
