#pragma once

// What the hostile suites share: a vector (an argument list or a script run
// as root in the sandbox, and what it may change), the world it meets, and
// the one check every vector passes: nothing changes in the sandbox's
// Library, System, root home or work folders except at the one destination
// the vector legitimately names, nothing set-id or writable by others is
// ever visible there to another user (not even while the run goes on), and
// every run ends with the status it should.

#include "support/FileTreeSnapshot.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace hostile {

const std::string kName = "KestrelInstallHelper";
const std::string kSR = "--self-repair";
const std::string kProductPane = PRODUCT_PREFIX "/lib/privet/KestrelPrefs.prefPane";  // as the sandbox shows it
const std::string kProductHelper = kProductPane + "/Contents/Helpers/KestrelInstallHelper";
const std::string kProductPlugIns = kProductPane + "/Contents/PlugIns";
const std::string kLauncher = std::string(PRODUCTS_DIR) + "/privileged-launcher";
const std::string kPaneStatus = std::string(PRODUCTS_DIR) + "/pane-status";

const std::string kOld = "Old.component";  // installed in /Library/QuickTime, and in /root's Library as a decoy
const std::string kOldInQuickTime = "/Library/QuickTime/Old.component";
const std::string kLongName(255, 'n');  // the longest file name
const std::string kTooLongName(300, 'n');
const std::string kShellName = "$(touch pwned) ; * | \"q\" 'q' %@%n%s\n.component";
const std::string kInvalidName = "\xFF\xFE.component";
// A whole log line of the helper's, to be passed off as its own.
const std::string kForgedLine = "2025-12-08 14:50:03.000 KestrelInstallHelper[4242:4242] KestrelInstallHelper exiting";
// What a probing step prints for each thing outside its run it could reach.
const std::string kReached = "REACHED ";

// Where one test's world lies: what a vector names is known only once its
// sandbox exists. Host paths; the pane bundle and the work folder are seen
// at the same paths inside the sandbox.
struct Paths {
    std::string tool;       // the helper in the pane bundle
    std::string resources;  // the pane bundle's resources folder
    std::string work;       // the work folder
    std::string library;    // what the sandbox sees as /Library
    std::string home;       // what the sandbox sees as /root
};

// One entry of an argument list: a path of the world and a tail, or a text.
struct Entry {
    Entry(const char* text) : text(text) {}
    Entry(std::string text) : text(std::move(text)) {}
    Entry(std::string Paths::*base, std::string tail = {}) : base(base), text(std::move(tail)) {}

    std::string in(const Paths& paths) const { return base ? paths.*base + text : text; }

    std::string Paths::*base = nullptr;
    std::string text;
};

inline const Entry kTool{&Paths::tool};
inline Entry resource(const std::string& name) { return {&Paths::resources, "/" + name}; }

enum class Effect { None, Installs, Deletes };

struct HostileVector {
    std::string name;
    std::vector<Entry> argv;  // entry 0 included
    Effect effect = Effect::None;
    std::string destination;     // as the helper sees it, for Installs and Deletes
    bool privilegedRun = false;  // five entries: the elevation run starts one
    bool inWork = false;         // run in the work folder, for relative source paths
    std::function<std::string(const Paths&)> shell{};  // instead of argv: a shell script run as root
    int helperRuns = -1;  // runs of the helper it makes; -1: one per run the vector itself names
    int exitStatus = 0;
    mode_t umask = 022;
    std::function<void(const Paths&)> prepare{};                 // more to put in place first
    std::vector<std::pair<Entry, std::string>> replacements{};  // {host file, sandbox file}
    std::optional<Entry> source{};                               // what an Installs script installs; else Cam.component
    std::string logged{};                                        // a text standard error must hold
};

inline void PrintTo(const HostileVector& vector, std::ostream* out) { *out << vector.name; }
inline std::string nameOf(const ::testing::TestParamInfo<HostileVector>& info) { return info.param.name; }

// Builders of a vector. A privileged run: tool, tool, "--self-repair",
// command, location, source.
inline std::vector<Entry> run6(const std::string& command, const std::string& location, Entry source) {
    return {kTool, kTool, kSR, command, location, std::move(source)};
}
inline HostileVector none(std::string name, std::vector<Entry> argv) {
    return {std::move(name), std::move(argv), Effect::None, {}};
}
inline HostileVector deletes(std::string name, std::vector<Entry> argv, std::string destination) {
    return {std::move(name), std::move(argv), Effect::Deletes, std::move(destination)};
}
inline HostileVector installs(std::string name, std::vector<Entry> argv, std::string destination) {
    return {std::move(name), std::move(argv), Effect::Installs, std::move(destination)};
}
inline HostileVector inWork(HostileVector vector) { vector.inWork = true; return vector; }
inline HostileVector withPrivilegedRun(HostileVector vector) { vector.privilegedRun = true; return vector; }
inline HostileVector prepared(HostileVector vector, std::function<void(const Paths&)> prepare) {
    vector.prepare = std::move(prepare);
    return vector;
}
// A shell script instead of a helper run: it makes `helperRuns` runs of the
// helper and ends with `exitStatus`.
HostileVector script(HostileVector vector, std::function<std::string(const Paths&)> shell, int helperRuns,
                     int exitStatus);
// Puts a step in place of the tool /bin/NAME once the vector's own
// preparation is done: the shell lines `first(paths)` (TOOL: a copy of the
// real tool, in the sandbox's home, which the run's fence leaves in view),
// then the tool.
HostileVector withStep(HostileVector vector, const std::string& tool, std::function<std::string(const Paths&)> first);
// The shell words of a privileged install of Cam.component.
std::string privilegedInstallWords(const Paths& paths);

// The world of every suite: a pane bundle with the helper and Cam.component
// (a payload folder owned by "nobody" with modes an install replaces); old
// payloads installed in each Library folder, and a decoy in /root's; files
// no run may touch in the Library folders, /root and the work folder.
// Each suite's fixture adds what its vectors name.
class HostileWorld : public ::testing::TestWithParam<HostileVector> {
protected:
    void SetUp() override;
    // Runs the vector and checks what it changed.
    void runAndCheck(const HostileVector& vector);

    testsupport::Sandbox sandbox;
    Paths paths;

private:
    testsupport::FileTreeSnapshot snapshot() const;
    std::string installSource(const HostileVector& vector) const;
};

// Sources with odd names (options, the longest name, shell and non-UTF-8
// text) in the bundle, the work folder and the Library, and a symbolic link
// installed where an install would go.
void addOddlyNamedEntries(const Paths& paths);
// Sources that are no payload: a symbolic link to a secret, a folder leading
// out of the bundle, a device, a FIFO, and a payload of set-id and
// everybody-writable entries.
void addHostileSources(const Paths& paths);

} // namespace hostile
