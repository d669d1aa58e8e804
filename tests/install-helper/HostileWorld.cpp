#include "HostileWorld.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

namespace fs = std::filesystem;
using testsupport::FileTreeSnapshot;
using testsupport::SandboxOptions;
using testsupport::SandboxResult;

namespace hostile {

HostileVector script(HostileVector vector, std::function<std::string(const Paths&)> shell, int helperRuns,
                     int exitStatus) {
    vector.shell = std::move(shell);
    vector.helperRuns = helperRuns;
    vector.exitStatus = exitStatus;
    return vector;
}

std::string privilegedInstallWords(const Paths& paths) {
    return paths.tool + " " + paths.tool + " " + kSR + " install Library.QuickTime " + paths.resources +
           "/Cam.component";
}

HostileVector withStep(HostileVector vector, const std::string& tool, std::function<std::string(const Paths&)> first) {
    const std::string name = fs::path(tool).filename();
    vector.prepare = [earlier = std::move(vector.prepare), tool, name, first = std::move(first)](const Paths& paths) {
        if (earlier) earlier(paths);
        const std::string real = "/root/.tools/" + name;
        fs::create_directories(fs::path(paths.home) / ".tools");
        fs::copy_file(fs::canonical(tool), fs::path(paths.home) / ".tools" / name);
        std::string lines = first(paths);
        for (std::size_t at = lines.find("TOOL"); at != std::string::npos; at = lines.find("TOOL", at + 1)) {
            lines.replace(at, 4, real);
        }
        const fs::path step = fs::path(paths.work) / "tools" / (name + "-step");
        testsupport::writeFile(step, "#!/bin/sh\n" + lines + "exec " + real + " \"$@\"\n");
        chmod(step.c_str(), 0755);
    };
    vector.replacements.emplace_back(Entry(&Paths::work, "/tools/" + name + "-step"), fs::canonical(tool).string());
    return vector;
}

namespace {

void writeOwnedFile(const fs::path& path, const std::string& contents, uid_t owner, mode_t mode) {
    testsupport::writeFile(path, contents);
    EXPECT_EQ(lchown(path.c_str(), owner, owner), 0);
    chmod(path.c_str(), mode);
}

// A payload folder owned by "nobody" with modes that an install replaces.
void makePayloadFolder(const fs::path& folder) {
    writeOwnedFile(folder / "Contents/Info.plist", "<plist><dict/></plist>\n", 65534, 0600);
    writeOwnedFile(folder / "Contents/Linux/payload.so", "code", 65534, 0600);
    fs::create_symlink("Contents/Linux/payload.so", folder / "Current");
    for (const fs::path& each : {folder, folder / "Contents", folder / "Contents/Linux"}) {
        EXPECT_EQ(lchown(each.c_str(), 65534, 65534), 0);
        chmod(each.c_str(), 0700);
    }
}

// A payload folder whose entries no installed copy may show: set-id files
// and folders, and entries everybody may write.
void makeSetIdPayloadFolder(const fs::path& folder) {
    writeOwnedFile(folder / "shell", "#!/bin/sh\n", 0, 04755);
    writeOwnedFile(folder / "Tools/tool", "tool", 0, 06755);
    writeOwnedFile(folder / "open", "anyone may write me", 0, 0666);
    fs::create_directories(folder / "Open");
    chmod((folder / "Tools").c_str(), 02755);
    chmod((folder / "Open").c_str(), 0777);
    chmod(folder.c_str(), 0755);
}

// Runs the command with the umask given while another user looks, again and
// again, for set-id or writable entries under the Library folders, printing
// each it can see.
std::vector<std::string> watched(mode_t mask, const std::vector<std::string>& command) {
    char umaskText[8];
    std::snprintf(umaskText, sizeof umaskText, "%03o", mask);
    std::vector<std::string> wrapped{
        "/bin/sh", "-c",
        "setpriv --reuid=65534 --regid=65534 --clear-groups -- /bin/sh -c 'while :; do "
        "find /Library /System/Library ! -type l \\( -perm -4000 -o -perm -2000 -o -perm -0002 \\) "
        "-printf \"visible %p\\n\" 2>/dev/null; sleep 0.02; done' & watcher=$!; "
        "umask " + std::string(umaskText) + "; \"$@\"; status=$?; kill $watcher; exit $status",
        "sh"};
    wrapped.insert(wrapped.end(), command.begin(), command.end());
    return wrapped;
}

int occurrences(const std::string& text, const std::string& part) {
    int found = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

// Where the first control character but a line feed is (C1 controls as UTF-8 too).
std::size_t firstControlCharacter(const std::string& text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        const unsigned char byte = text[at];
        const unsigned char next = at + 1 < text.size() ? text[at + 1] : 0;
        if ((byte < 0x20 && byte != '\n') || byte == 0x7F || (byte == 0xC2 && next >= 0x80 && next <= 0x9F)) return at;
    }
    return std::string::npos;
}

bool isAtOrBelow(const std::string& path, const std::string& folder) {
    return path == folder || path.starts_with(folder + "/");
}

} // namespace

void HostileWorld::SetUp() {
    if (geteuid() != 0) GTEST_SKIP() << "the sandbox tests run as root";
    const fs::path pane = sandbox.work() / "Pane.prefPane";
    fs::create_directories(pane / "Contents/Helpers");
    paths = {(pane / "Contents/Helpers/KestrelInstallHelper").string(), (pane / "Contents/Resources").string(),
             sandbox.work().string(), sandbox.library().string(), sandbox.home().string()};
    fs::copy_file(std::string(PRODUCTS_DIR) + "/KestrelInstallHelper", paths.tool);
    const fs::path resources = paths.resources;
    makePayloadFolder(resources / "Cam.component");
    for (const char* name : {"Cam.plugin", "Old.plugin", "Old.qtz"}) {
        writeOwnedFile(resources / name, std::string("source ") + name, 65534, 0600);
    }
    testsupport::writeFile(sandbox.work() / "elsewhere/precious", "p");
    writeOwnedFile(sandbox.work() / "elsewhere/secret", "s", 65534, 0600);

    const fs::path library = sandbox.library();
    testsupport::writeFile(library / "keep", "k");
    testsupport::writeFile(library / "QuickTime/keep", "k");
    testsupport::writeFile(library / "QuickTime" / kOld / "Contents/Info.plist", "old");
    testsupport::writeFile(library / "Graphics/Image Units/Old.plugin", "old");
    testsupport::writeFile(library / "Graphics/Quartz Composer Plug-Ins/Old.plugin", "old");
    testsupport::writeFile(library / "Compositions/Old.qtz", "old");
    testsupport::writeFile(sandbox.systemLibrary() / "keep", "k");
    testsupport::writeFile(sandbox.systemLibrary() / "Extensions/Old.kext/Contents/Info.plist", "old");
    testsupport::writeFile(sandbox.home() / ".profile", "profile");
    testsupport::writeFile(sandbox.home() / "Library/QuickTime" / kOld / "Contents/Info.plist", "decoy");
}

void addOddlyNamedEntries(const Paths& paths) {
    const fs::path resources = paths.resources;
    const fs::path work = paths.work;
    const fs::path library = paths.library;
    makePayloadFolder(resources / kShellName);
    makePayloadFolder(work / "-rf");
    for (const std::string& name : {std::string("Trap.qtz"), kInvalidName, kLongName}) {
        writeOwnedFile(resources / name, "source " + name, 65534, 0600);
    }
    for (const char* name : {"--", "--help", "-"}) {
        writeOwnedFile(work / name, name, 65534, 0600);
        testsupport::writeFile(library / "QuickTime" / name, "installed");
    }
    testsupport::writeFile(library / "QuickTime" / kInvalidName, "installed");
    testsupport::writeFile(library / "QuickTime" / kLongName, "installed");
    fs::create_symlink(work / "elsewhere", library / "Compositions/Trap.qtz");
}

void addHostileSources(const Paths& paths) {
    const fs::path resources = paths.resources;
    fs::create_symlink(fs::path(paths.work) / "elsewhere/secret", resources / "Link.component");
    fs::create_symlink(fs::path(paths.work) / "elsewhere", resources / "Out");
    ASSERT_EQ(mknod((resources / "Disk.component").c_str(), S_IFCHR | 0644, makedev(1, 3)), 0);
    fs::create_directories(resources / "Fifo.component/Contents");
    ASSERT_EQ(mkfifo((resources / "Fifo.component/Contents/pipe").c_str(), 0644), 0);
    makeSetIdPayloadFolder(resources / "Setuid.component");
}

FileTreeSnapshot HostileWorld::snapshot() const {
    return testsupport::snapshotFileTrees({{sandbox.library(), "/Library"},
                                           {sandbox.systemLibrary().parent_path(), "/System"},
                                           {sandbox.home(), "/root"},
                                           {sandbox.work(), sandbox.work().string()},
                                           {PRODUCT_STAGE + kProductPane, kProductPane}});
}

std::string HostileWorld::installSource(const HostileVector& vector) const {
    if (vector.source) return vector.source->in(paths);
    const std::vector<Entry>& argv = vector.argv;
    if (argv.empty()) return paths.resources + "/Cam.component";
    return (argv.size() == 5 ? argv[4] : argv[5]).in(paths);
}

void HostileWorld::runAndCheck(const HostileVector& vector) {
    if (vector.prepare) vector.prepare(paths);
    std::vector<std::string> command{EXEC_WITH_ARGV, paths.tool};
    for (const Entry& entry : vector.argv) command.push_back(entry.in(paths));
    if (vector.shell) command = {"/bin/sh", "-c", vector.shell(paths)};
    SandboxOptions options;
    options.readOnlyFolders.push_back(fs::path(EXEC_WITH_ARGV).parent_path().string());
    options.readOnlyFolders.push_back(HOSTILE_PROGRAMS);
    options.installedProduct = true;
    if (vector.inWork) options.workingDirectory = paths.work;
    for (const auto& [host, inside] : vector.replacements) options.replacements.emplace_back(host.in(paths), inside);

    const FileTreeSnapshot before = snapshot();
    const SandboxResult result = sandbox.run(watched(vector.umask, command), options);
    EXPECT_EQ(result.exitStatus, vector.exitStatus) << result.standardError;

    const int runs = vector.helperRuns >= 0 ? vector.helperRuns : vector.privilegedRun ? 2 : 1;
    const std::string exiting = kName + " exiting\n";
    if (vector.privilegedRun || vector.shell) {
        EXPECT_TRUE(sandbox.waitForLines(exiting, runs)) << sandbox.standardErrorSoFar();
    } else if (vector.argv.size() == 5) {
        EXPECT_TRUE(sandbox.waitUntilStandardErrorIsLeft()) << sandbox.standardErrorSoFar();
    }
    const std::string standardError = sandbox.standardErrorSoFar();
    EXPECT_EQ(occurrences(standardError, kName + " started BUILD "), runs) << standardError;
    EXPECT_EQ(occurrences(standardError, exiting), runs) << standardError;
    // Whatever the entries, no line holds a control character.
    EXPECT_EQ(firstControlCharacter(standardError), std::string::npos) << standardError;
    EXPECT_EQ(standardError.find(kReached), std::string::npos) << standardError;
    if (!vector.logged.empty()) {
        EXPECT_NE(standardError.find(vector.logged), std::string::npos) << standardError;
    }

    // What another user saw while the run went on, but for what was there before.
    std::istringstream seen(result.standardOutput);
    for (std::string line; std::getline(seen, line);) {
        if (!line.starts_with("visible ")) continue;
        const auto earlier = before.find(line.substr(8));
        EXPECT_TRUE(earlier != before.end() && (earlier->second.mode & 06002)) << line;
    }

    const FileTreeSnapshot after = snapshot();
    for (const auto& [path, entry] : after) {
        const auto earlier = before.find(path);
        if (entry.type == 'l' || (earlier != before.end() && earlier->second == entry)) continue;
        EXPECT_EQ(entry.mode & 06002, 0u) << path << " became " << entry.describe();
    }
    const std::string& destination = vector.destination;
    for (const testsupport::FileTreeChange& change : testsupport::fileTreeChanges(before, after)) {
        const bool atDestination = vector.effect != Effect::None && isAtOrBelow(change.path, destination);
        // An install creates the location's missing folders.
        const bool createdParent = vector.effect == Effect::Installs && change.before.empty() &&
                                   change.after.starts_with("d ") && destination.starts_with(change.path + "/");
        EXPECT_TRUE(atDestination || createdParent)
            << change.path << ": [" << change.before << "] became [" << change.after << "]";
    }

    if (vector.effect == Effect::Deletes) {
        EXPECT_TRUE(before.contains(destination)) << destination;
        EXPECT_FALSE(after.contains(destination)) << destination;
    }
    if (vector.effect == Effect::Installs) {
        // The installed copy mirrors the source, owned by root with mode 755.
        const std::string source = installSource(vector);
        int entries = 0;
        for (const auto& [path, entry] : before) {
            if (!isAtOrBelow(path, source)) continue;
            ++entries;
            const auto installed = after.find(destination + path.substr(source.size()));
            ASSERT_NE(installed, after.end()) << path;
            EXPECT_EQ(installed->second.type, entry.type) << installed->first;
            EXPECT_EQ(installed->second.size, entry.size) << installed->first;
            EXPECT_EQ(installed->second.contentHash, entry.contentHash) << installed->first;
            EXPECT_EQ(installed->second.linkTarget, entry.linkTarget) << installed->first;
            EXPECT_EQ(installed->second.owner, 0u) << installed->first;
            if (entry.type != 'l') {
                EXPECT_EQ(installed->second.mode, 0755u) << installed->first;
            }
        }
        EXPECT_GT(entries, 0) << source;
    }
}

} // namespace hostile
