// Hostile argument vectors for the real helper, run as root in the sandbox:
// whatever the entries, nothing changes in the sandbox's Library, System,
// root home or work folders except at the one destination that a vector
// legitimately names, nothing set-id or writable by others is ever visible
// there to another user (not even while the run goes on), and every run ends
// with the status it should. The attacks at the end hand the launcher and the
// pane what an attacker would.

#include "support/FileTreeSnapshot.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <ostream>
#include <sstream>

namespace fs = std::filesystem;
using testsupport::FileTreeSnapshot;
using testsupport::Sandbox;
using testsupport::SandboxOptions;
using testsupport::SandboxResult;

namespace {

const std::string kName = "KestrelInstallHelper";

// Placeholders in the table: the helper's path in the pane bundle, the
// pane's resources folder, the work folder, the launcher, pane-status, and
// the installed product's Kestrel helper and its plug-ins folder.
const std::string kT = "{T}";
const std::string kR = "{R}";
const std::string kW = "{W}";
const std::string kL = "{L}";
const std::string kS = "{S}";
const std::string kP = "{P}";
const std::string kPP = "{PP}";
const std::string kProductPane = PRODUCT_PREFIX "/lib/privet/KestrelPrefs.prefPane";  // as the sandbox shows it
const std::string kSR = "--self-repair";

enum class Effect { None, Installs, Deletes };

struct HostileVector {
    std::string name;
    std::vector<std::string> argv;  // entry 0 included
    Effect effect = Effect::None;
    std::string destination;        // as the helper sees it, for Installs and Deletes
    bool privilegedRun = false;     // five entries: the elevation run starts one
    bool inWork = false;            // run in the work folder, for relative source paths
    std::string shell{};            // instead of argv: a shell script run as root
    int helperRuns = -1;            // runs of the helper it makes; -1: one per run the vector itself names
    int exitStatus = 0;
    mode_t umask = 022;
    std::function<void(const std::filesystem::path& work)> prepare{};  // more to put in place first
    std::vector<std::pair<std::string, std::string>> replacements{};    // {host file, sandbox file}
    std::string source{};  // what an Installs script installs; empty: {R}/Cam.component
    std::string logged{};  // a text standard error must hold
};

void PrintTo(const HostileVector& vector, std::ostream* out) { *out << vector.name; }

// A privileged run: tool, tool, "--self-repair", command, location, source.
std::vector<std::string> run6(const std::string& command, const std::string& location, const std::string& source) {
    return {kT, kT, kSR, command, location, source};
}

HostileVector none(std::string name, std::vector<std::string> argv) {
    return {std::move(name), std::move(argv), Effect::None, {}};
}

HostileVector deletes(std::string name, std::vector<std::string> argv, std::string destination) {
    return {std::move(name), std::move(argv), Effect::Deletes, std::move(destination)};
}

HostileVector installs(std::string name, std::vector<std::string> argv, std::string destination) {
    return {std::move(name), std::move(argv), Effect::Installs, std::move(destination)};
}

HostileVector inWork(HostileVector vector) {
    vector.inWork = true;
    return vector;
}

HostileVector withPrivilegedRun(HostileVector vector) {
    vector.privilegedRun = true;
    return vector;
}

// A shell script instead of a helper run: it makes `helperRuns` runs of the
// helper and ends with `exitStatus`.
HostileVector script(HostileVector vector, std::string shell, int helperRuns, int exitStatus) {
    vector.shell = std::move(shell);
    vector.helperRuns = helperRuns;
    vector.exitStatus = exitStatus;
    return vector;
}

// A privileged install of Cam.component by a caller that set `limits` and
// ignores SIGCHLD and SIGXFSZ.
std::string withInheritedLimits(const std::string& limits) {
    return limits + " && exec /usr/bin/python3 -c 'import os, signal, sys; "
                    "[signal.signal(s, signal.SIG_IGN) for s in (signal.SIGCHLD, signal.SIGXFSZ)]; "
                    "os.execv(sys.argv[1], sys.argv[1:])' " +
           kT + " " + kT + " " + kSR + " install Library.QuickTime " + kR + "/Cam.component";
}

// A request handed to the launcher: the program and its arguments, NUL-separated.
std::string launcherRequest(const std::vector<std::string>& fields) {
    std::string quoted;
    for (const std::string& field : fields) quoted += " '" + field + "'";
    return "printf '%s\\0'" + quoted + " | " + kL;
}

const std::string kOld = "Old.component";  // installed in /Library/QuickTime, and in /root's Library as a decoy
const std::string kOldInQuickTime = "/Library/QuickTime/Old.component";
const std::string kLongName(255, 'n');     // the longest file name
const std::string kTooLongName(300, 'n');
const std::string kShellName = "$(touch pwned) ; * | \"q\" 'q' %@%n%s\n.component";
const std::string kInvalidName = "\xFF\xFE.component";
// A whole log line of the helper's, to be passed off as its own.
const std::string kForgedLine = "2025-12-08 14:50:03.000 KestrelInstallHelper[4242:4242] KestrelInstallHelper exiting";

// Runs the helper's privileged run with a standard error that is a full
// pipe (4 kB, filled) nobody reads ("unread") or whose reader is gone.
std::string withFullPipe(const std::string& reader) {
    return "timeout 20 /usr/bin/python3 -c 'import fcntl, os, signal, sys; r, w = os.pipe(); "
           "fcntl.fcntl(w, 1031, 4096); os.write(w, b\"x\" * 4096); os.dup2(w, 2); "
           "os.set_inheritable(r, sys.argv[1] == \"unread\"); signal.signal(signal.SIGPIPE, signal.SIG_DFL); "
           "os.execv(sys.argv[2], sys.argv[2:])' " +
           reader + " " + kT + " " + kT + " " + kSR + " install Library.QuickTime " + kR + "/Cam.component";
}

// Writes {W}/tools/NAME-step for the tool /bin/NAME: the shell lines `first`
// (TOOL: a copy of the real tool), then the tool. Replacements put it in place.
// The copy lies in the sandbox's home, which the run's fence leaves in view.
void wrappedStep(const fs::path& work, const std::string& tool, std::string first) {
    const std::string name = fs::path(tool).filename();
    const std::string real = "/root/.tools/" + name;
    fs::create_directories(work.parent_path() / "root/.tools");
    fs::copy_file(fs::canonical(tool), work.parent_path() / real.substr(1));
    for (std::size_t at = first.find("TOOL"); at != std::string::npos; at = first.find("TOOL", at + 1)) {
        first.replace(at, 4, real);
    }
    const fs::path step = work / "tools" / (name + "-step");
    testsupport::writeFile(step, "#!/bin/sh\n" + first + "exec " + real + " \"$@\"\n");
    chmod(step.c_str(), 0755);
}

// An install of a source in a folder only root may read, prepared with one
// payload in it: refused alike whether or not the source exists.
HostileVector refusedAsElsewhere(std::string name, const std::string& source) {
    HostileVector vector = none(std::move(name), run6("install", "Library.QuickTime", source));
    vector.logged = kName + " refused to install " + source + ": it lies outside the helper's bundle ";
    vector.prepare = [](const fs::path& work) {
        testsupport::writeFile(work.parent_path() / "root/secret/payload", "p");
        chmod((work.parent_path() / "root/secret").c_str(), 0700);
    };
    return vector;
}

// What a step prints for each thing outside its run it could reach.
const std::string kReached = "REACHED ";

// A step that, before it does its work, tries to signal a root process
// outside the run (a "sleep 4242"), to connect to a pathname socket, an
// abstract socket and 127.0.0.1 that a root service listens on, and to open
// /dev/full for writing.
const std::string kProbingStep =
    "/usr/bin/python3 - <<'EOF'\n"
    "import os, socket, sys\n"
    "def cmdline(pid):\n"
    "    try:\n"
    "        with open('/proc/%s/cmdline' % pid, 'rb') as f: return f.read()\n"
    "    except OSError: return b''\n"
    "def signal():\n"
    "    os.kill([int(p) for p in os.listdir('/proc') if p.isdigit() and cmdline(p) == b'sleep\\0' b'4242\\0'][0], 0)\n"
    "def connect(family, address):\n"
    "    s = socket.socket(family); s.settimeout(2); s.connect(address); s.close()\n"
    "for what, attempt in (('a signal', signal),\n"
    "        ('a pathname socket', lambda: connect(socket.AF_UNIX, '/run/privet-probe.sock')),\n"
    "        ('an abstract socket', lambda: connect(socket.AF_UNIX, '\\0privet-probe')),\n"
    "        ('127.0.0.1', lambda: connect(socket.AF_INET, ('127.0.0.1', 47211))),\n"
    "        ('/dev/full', lambda: open('/dev/full', 'wb').close())):\n"
    "    try: attempt(); print('" + kReached + "' + what, file=sys.stderr)\n"
    "    except Exception: pass\n"
    "EOF\n";

// The root service the probing step tries to reach, and the root process it
// signals; the probe first shows it reaches all five from outside a run.
const std::string kProbedWorld =
    "/usr/bin/python3 -c 'import socket, time\n"
    "kept = []\n"
    "for family, address in ((socket.AF_UNIX, \"/run/privet-probe.sock\"), (socket.AF_UNIX, \"\\0privet-probe\"),\n"
    "                        (socket.AF_INET, (\"127.0.0.1\", 47211))):\n"
    "    s = socket.socket(family); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
    "    s.bind(address); s.listen(8); kept.append(s)\n"
    "time.sleep(60)' & service=$!; sleep 4242 & victim=$!; n=0; "
    "while [ ! -S /run/privet-probe.sock ] && [ $n -lt 100 ]; do sleep 0.05; n=$((n+1)); done; "
    "/bin/chmod --version >/dev/null 2>/run/outside; "
    "[ \"$(grep -c '" + kReached + "' /run/outside)\" -eq 5 ] || { sed 's/" + kReached + "/seen: /' /run/outside >&2; exit 4; }; ";

std::string beyondPathMax(const std::string& last) {
    std::string path;
    while (path.size() < 5000) path += "/deep";
    return path + "/" + last;
}

std::vector<HostileVector> hostileVectors() {
    return {
        // Argument counts 0 to 8. Linux hands a program started without
        // entries a single empty one.
        none("Count0_NoEntries", {}),
        none("Count1_ToolOnly", {kT}),
        none("Count2", {kT, kT}),
        none("Count3_CommandOnly", {kT, kT, "install"}),
        none("Count4_NoSourcePath", {kT, kT, "delete", "Library.QuickTime"}),
        withPrivilegedRun(installs("Count5_ElevatedInstall", {kT, kT, "install", "Library.QuickTime", kR + "/Cam.component"},
                                   "/Library/QuickTime/Cam.component")),
        withPrivilegedRun(deletes("Count5_ElevatedDelete", {kT, kT, "delete", "Library.CoreImage", kR + "/Old.plugin"},
                                  "/Library/Graphics/Image Units/Old.plugin")),
        withPrivilegedRun(none("Count5_UnknownLocation", {kT, kT, "delete", "Library.Nowhere", kR + "/" + kOld})),
        withPrivilegedRun(none("Count5_InvalidUTF8Location", {kT, kT, "delete", "Library.QuickTime\xFF", kOld})),
        none("Count5_RelativeToolPath", {kT, "-rf", "delete", "Library.QuickTime", kOld}),
        none("Count5_MissingTool", {kT, "/nonexistent/KestrelInstallHelper", "delete", "Library.QuickTime", kOld}),
        none("Count5_Empty", {"", "", "", "", ""}),
        installs("Count6_InstallCreatesTheLocationFolders", run6("install", "Library.CoreMediaIO", kR + "/Cam.component"),
                 "/Library/CoreMediaIO/Plug-Ins/DAL/Cam.component"),
        deletes("Count6_IndexTwoIsOnlyLogged", {kT, kT, "-rf", "delete", "Library.QuickTime", kR + "/" + kOld},
                kOldInQuickTime),
        deletes("Count6_InvalidUTF8EntriesZeroAndOne", {"\xFF", "\xFE", kSR, "delete", "Library.Compositions", "Old.qtz"},
                "/Library/Compositions/Old.qtz"),
        none("Count6_Empty", {"", "", "", "", "", ""}),
        deletes("Count7_ExtraEntryIgnored", {kT, kT, kSR, "delete", "Library.Compositions", kR + "/Old.qtz", "/"},
                "/Library/Compositions/Old.qtz"),
        none("Count8_ExtraEntriesIgnored",
             {kT, kT, kSR, "install", "Library.Nowhere", kR + "/Cam.component", "Library.QuickTime", kR + "/Cam.component"}),

        // The location names not used above, then near-misses of them.
        installs("Location_SystemLibraryKEXT", run6("install", "System.Library.KEXT", kR + "/Cam.plugin"),
                 "/System/Library/Extensions/Cam.plugin"),
        deletes("Location_QuartzComposer", run6("delete", "Library.QuartzComposer", "Old.plugin"),
                "/Library/Graphics/Quartz Composer Plug-Ins/Old.plugin"),
        deletes("Location_KEXTDelete", run6("delete", "System.Library.KEXT", "Old.kext"), "/System/Library/Extensions/Old.kext"),
        none("NearMiss_LowerCase", run6("delete", "library.quicktime", kOld)),
        none("NearMiss_UpperCase", run6("delete", "LIBRARY.QUICKTIME", kOld)),
        none("NearMiss_LeadingBlank", run6("delete", " Library.QuickTime", kOld)),
        none("NearMiss_TrailingBlank", run6("delete", "Library.QuickTime ", kOld)),
        none("NearMiss_TrailingNewline", run6("delete", "Library.QuickTime\n", kOld)),
        none("NearMiss_Prefix", run6("delete", "Library.QuickTim", kOld)),
        none("NearMiss_Suffix", run6("delete", "Library.QuickTimes", kOld)),
        none("NearMiss_TrailingDot", run6("delete", "Library.QuickTime.", kOld)),
        none("NearMiss_LeadingDot", run6("delete", ".Library.QuickTime", kOld)),
        none("NearMiss_DoubleDot", run6("delete", "Library..QuickTime", kOld)),
        none("NearMiss_DomainOnly", run6("delete", "Library", kOld)),
        none("NearMiss_SubFolderOnly", run6("delete", "QuickTime", kOld)),
        none("NearMiss_FolderPath", run6("delete", "/Library/QuickTime", kOld)),
        none("NearMiss_WithTraversal", run6("delete", "Library.QuickTime/../..", kOld)),
        none("NearMiss_ConstantName", run6("delete", "kPrivetTool_Location_LibraryQuickTime", kOld)),
        none("NearMiss_UserDomain", run6("delete", "User.Library.QuickTime", kOld)),
        none("NearMiss_KEXTCase", run6("delete", "System.Library.Kext", "Old.kext")),
        none("NearMiss_EmptyLocation", run6("delete", "", kOld)),
        none("NearMiss_OptionAsLocation", run6("delete", "-rf", kOld)),

        // Traversal and names that are no entry of their own.
        none("Traversal_UpTwice", run6("delete", "Library.QuickTime", "../../etc")),
        none("Traversal_EndsInDotDot", run6("delete", "Library.QuickTime", kR + "/..")),
        none("Traversal_Root", run6("delete", "Library.QuickTime", "/")),
        none("Traversal_DoubleSlash", run6("delete", "Library.QuickTime", "//")),
        none("Traversal_Dot", run6("delete", "Library.QuickTime", ".")),
        none("Traversal_DotDot", run6("delete", "Library.QuickTime", "..")),
        none("Traversal_EndsInDot", run6("delete", "Library.QuickTime", kR + "/" + kOld + "/.")),
        none("Traversal_InstallUpTwice", run6("install", "Library.QuickTime", "../..")),
        none("Traversal_InstallRoot", run6("install", "System.Library.KEXT", "/")),
        none("Traversal_InstallParentOfResources", run6("install", "Library.Compositions", kR + "/..")),
        deletes("Traversal_TrailingSlash", run6("delete", "Library.QuickTime", kOld + "/"), kOldInQuickTime),
        deletes("Traversal_SourceElsewhereOnlyNamesTheEntry",
                run6("delete", "Library.QuickTime", "/root/Library/QuickTime/" + kOld), kOldInQuickTime),
        none("Traversal_GlobIsLiteral", run6("delete", "Library.QuickTime", "*")),
        none("Traversal_InstallOntoASymbolicLink", run6("install", "Library.Compositions", kR + "/Trap.qtz")),

        // Option-like entries, in the work folder where such names exist.
        inWork(none("Option_InstallDashRf", run6("install", "Library.QuickTime", "-rf"))),  // relative: refused
        inWork(deletes("Option_DeleteDoubleDash", run6("delete", "Library.QuickTime", "--"), "/Library/QuickTime/--")),
        inWork(deletes("Option_DeleteHelp", run6("delete", "Library.QuickTime", "--help"), "/Library/QuickTime/--help")),
        inWork(deletes("Option_DeleteDash", run6("delete", "Library.QuickTime", "-"), "/Library/QuickTime/-")),
        inWork(none("Option_CommandDashRf", run6("-rf", "Library.QuickTime", kOld))),
        inWork(none("Option_CommandHelp", run6("--help", "Library.QuickTime", kOld))),
        inWork(none("Option_CommandDoubleDash", run6("--", "Library.QuickTime", kOld))),

        // Very long entries.
        deletes("Long_SourceBeyondPathMax", run6("delete", "Library.QuickTime", beyondPathMax(kOld)), kOldInQuickTime),
        none("Long_InstallSourceBeyondPathMax", run6("install", "Library.QuickTime", beyondPathMax("Cam.component"))),
        deletes("Long_LongestName", run6("delete", "Library.QuickTime", kR + "/" + kLongName), "/Library/QuickTime/" + kLongName),
        installs("Long_InstallLongestName", run6("install", "Library.QuickTime", kR + "/" + kLongName),
                 "/Library/QuickTime/" + kLongName),
        none("Long_NameTooLong", run6("delete", "Library.QuickTime", kR + "/" + kTooLongName)),
        none("Long_InstallNameTooLong", run6("install", "Library.QuickTime", kR + "/" + kTooLongName)),
        none("Long_Location", run6("delete", std::string(5000, 'L'), kOld)),
        none("Long_Command", run6(std::string(100000, 'd'), "Library.QuickTime", kOld)),

        // Text that is not UTF-8.
        none("UTF8_Command", run6("\xFF" "delete", "Library.QuickTime", kOld)),
        none("UTF8_Location", run6("delete", "Library.QuickTime\xC3", kOld)),
        none("UTF8_DeleteSource", run6("delete", "Library.QuickTime", kR + "/" + kInvalidName)),
        none("UTF8_InstallSource", run6("install", "Library.QuickTime", kR + "/" + kInvalidName)),
        none("UTF8_OverlongSlash", run6("delete", "Library.QuickTime", "..\xC0\xAF..\xC0\xAF" + kOld)),
        none("UTF8_Surrogate", run6("delete", "Library.QuickTime", "\xED\xA0\x80" + kOld)),

        // Empty entries.
        none("Empty_Command", run6("", "Library.QuickTime", kOld)),
        none("Empty_Source", run6("delete", "Library.QuickTime", "")),
        none("Empty_InstallSource", run6("install", "Library.QuickTime", "")),

        // Newlines, percent signs and quotes.
        none("Text_CommandWithNewline", run6("delete\n", "Library.QuickTime", kOld)),
        none("Text_SourceWithNewline", run6("delete", "Library.QuickTime", kOld + "\n")),
        none("Text_PercentSource", run6("delete", "Library.QuickTime", "%@%s%n%x%%.component")),
        none("Text_PercentLocation", run6("delete", "%@%s%n%x", kOld)),
        none("Text_QuotedShell", run6("delete", "Library.QuickTime", "'; rm -rf / #'")),
        none("Text_ForgedLogLine", run6("delete", "Library.QuickTime", "/x\n" + kForgedLine + "\n/Absent.component")),
        none("Text_TerminalEscapes",
             run6("delete", "Library.QuickTime\x1b[2J", "/x/\x1b]0;owned\x07\x1b[31m\r\xC2\x9B" "2J.component")),
        installs("Text_InstallShellName", run6("install", "Library.QuickTime", kR + "/" + kShellName),
                 "/Library/QuickTime/" + kShellName),

        // What an attacker would hand the root side after one approval.
        script(none("Attack_LauncherStartsAShell", {}),
               launcherRequest({"/bin/sh", "/bin/sh", "-c", "touch /Library/owned"}), 0, 1),
        script(none("Attack_LauncherStartsAHelperWithAnotherShape", {}),
               launcherRequest({kT, kT, kSR, "install", "Library.QuickTime", kR + "/Cam.component", "extra"}), 0, 1),
        [] {
            HostileVector open = script(none("Attack_LauncherStartsAHelperOthersCanChange", {}),
                                        launcherRequest({kW + "/open/KestrelInstallHelper", kW + "/open/KestrelInstallHelper",
                                                         kSR, "install", "Library.QuickTime", kR + "/Cam.component"}),
                                        0, 1);
            open.prepare = [](const fs::path& work) {
                fs::create_directories(work / "open");
                fs::copy_file(std::string(PRODUCTS_DIR) + "/KestrelInstallHelper", work / "open/KestrelInstallHelper");
                chmod((work / "open").c_str(), 0777);
            };
            return open;
        }(),
        [] {
            HostileVector own = script(installs("Attack_LauncherStartsAPrivilegedRun", {},
                                                "/Library/QuickTime/FernhillDigitizer.component"),
                                       launcherRequest({kP, kP, kSR, "install", "Library.QuickTime",
                                                        kPP + "/FernhillDigitizer.component"}),
                                       1, 0);
            own.source = kPP + "/FernhillDigitizer.component";
            return own;
        }(),
        script(none("Attack_LauncherStartsAHelperOutsideTheProduct", {}),
               launcherRequest({kT, kT, kSR, "install", "Library.QuickTime", kR + "/Cam.component"}), 0, 1),
        script(none("Attack_LauncherStartsARootOwnedProgramOnAUserMount", {}),
               "mkdir -p /media/u && mount -n -t tmpfs -o nosuid,nodev,mode=0755 stick /media/u && "
               "printf '#!/bin/sh\\ntouch /Library/owned\\n' >/media/u/KestrelInstallHelper && "
               "chmod 755 /media/u/KestrelInstallHelper && " +
                   launcherRequest({"/media/u/KestrelInstallHelper", "/media/u/KestrelInstallHelper", kSR, "install",
                                    "Library.QuickTime", kR + "/Cam.component"}),
               0, 1),
        [] {
            // Our own helper, installed as if it were a plug-in: its "own
            // bundle" would be the whole location folder.
            const std::string copy = "/Library/QuickTime/KestrelInstallHelper";
            HostileVector copied = script(none("Attack_LauncherStartsAHelperCopiedIntoALibraryFolder", {}),
                                          launcherRequest({copy, copy, kSR, "install", "Library.CoreMediaIO",
                                                           "/Library/QuickTime/" + kOld}),
                                          0, 1);
            copied.prepare = [](const fs::path& work) {
                const fs::path helper = work.parent_path() / "Library/QuickTime/KestrelInstallHelper";
                fs::copy_file(std::string(PRODUCTS_DIR) + "/KestrelInstallHelper", helper);
                chmod(helper.c_str(), 0755);
            };
            return copied;
        }(),
        script(none("Attack_LauncherWaitsForARequestThatNeverComes", {}),
               "mkfifo /tmp/never && exec 3<>/tmp/never && timeout 20 " + kL + " <&3", 0, 1),
        script(none("Attack_LauncherRefusalForgesALogLine", {}),
               launcherRequest({"/x\n" + kForgedLine + "\n/KestrelInstallHelper", "/x", kSR, "install",
                                "Library.QuickTime", kR + "/Cam.component"}),
               0, 1),
        none("Attack_SourceIsASymbolicLink", run6("install", "Library.QuickTime", kR + "/Link.component")),
        none("Attack_SourceLeadsOutOfTheBundle", run6("install", "Library.QuickTime", kR + "/Out/precious")),
        inWork(none("Attack_RelativeSource", run6("install", "Library.QuickTime", "elsewhere"))),
        none("Attack_SourceOutsideTheBundle", run6("install", "Library.QuickTime", "/etc")),
        none("Attack_SourceIsAnotherHome", run6("install", "Library.QuickTime", "/root")),
        none("Attack_SourceIsADevice", run6("install", "Library.QuickTime", "/dev/null")),
        none("Attack_SourceIsADeviceInTheBundle", run6("install", "Library.QuickTime", kR + "/Disk.component")),
        none("Attack_SourceHoldsAFifo", run6("install", "Library.QuickTime", kR + "/Fifo.component")),
        installs("Attack_SetIdAndWritableEntriesNeverShow", run6("install", "Library.QuickTime", kR + "/Setuid.component"),
                 "/Library/QuickTime/Setuid.component"),
        [] {
            HostileVector merged = installs("Attack_SetIdEntriesNeverShowInAMerge",
                                            run6("install", "Library.QuickTime", kR + "/Setuid.component"),
                                            "/Library/QuickTime/Setuid.component");
            merged.prepare = [](const fs::path& work) {
                testsupport::writeFile(work.parent_path() / "Library/QuickTime/Setuid.component/kept", "installed");
            };
            return merged;
        }(),
        [] {
            HostileVector open = installs("Attack_UmaskZeroMakesNoOpenFolders",
                                          run6("install", "Library.CoreMediaIO", kR + "/Cam.component"),
                                          "/Library/CoreMediaIO/Plug-Ins/DAL/Cam.component");
            open.umask = 0;
            return open;
        }(),
        [] {
            // A root-owned link to where a user may create the folder later.
            HostileVector dangling = none("Attack_LocationFolderIsADanglingLink",
                                          run6("install", "Library.CoreMediaIO", kR + "/Cam.component"));
            dangling.prepare = [](const fs::path& work) {
                fs::create_directories(work / "user");
                EXPECT_EQ(chown((work / "user").c_str(), 65534, 65534), 0);
                fs::create_symlink(work / "user/cmio", work.parent_path() / "Library/CoreMediaIO");
                // The user makes the folder once the run has looked, before it makes folders.
                wrappedStep(work, "/bin/mkdir", "TOOL -p " + (work / "user/cmio").string() + "\n");
            };
            dangling.replacements = {{kW + "/tools/mkdir-step", fs::canonical("/bin/mkdir").string()}};
            return dangling;
        }(),
        script(installs("Streams_AFullPipeNobodyReads", {}, "/Library/QuickTime/Cam.component"), withFullPipe("unread"),
               0, 0),
        script(installs("Streams_AFullPipeWhoseReaderIsGone", {}, "/Library/QuickTime/Cam.component"),
               withFullPipe("closed"), 0, 0),
        // A caller that ignores SIGCHLD and SIGXFSZ and allows no file any
        // size: the copy is whole all the same, never empty or cut short.
        script(installs("Inherited_IgnoredSignalsAndNoFileSize", {}, "/Library/QuickTime/Cam.component"),
               withInheritedLimits("ulimit -S -f 0"), 1, 0),
        [] {
            // The same caller allowing files of 4 kB (8 blocks of the shell's),
            // over an installed copy: a 16 kB file of the source arrives whole.
            HostileVector merged = script(installs("Inherited_IgnoredSignalsAnd4kFilesInAMerge", {},
                                                   "/Library/QuickTime/Cam.component"),
                                          withInheritedLimits("ulimit -S -f 8"), 1, 0);
            merged.prepare = [](const fs::path& work) {
                testsupport::writeFile(work / "Pane.prefPane/Contents/Resources/Cam.component/Contents/large",
                                       std::string(16384, 'x'));
                testsupport::writeFile(work.parent_path() / "Library/QuickTime/Cam.component/kept", "installed");
            };
            return merged;
        }(),
        [] {
            // A step that also writes, changes modes and owners elsewhere.
            HostileVector fenced = installs("Fence_AStepCanChangeNothingOutsideTheLibrary",
                                            run6("install", "Library.QuickTime", kR + "/Cam.component"),
                                            "/Library/QuickTime/Cam.component");
            fenced.prepare = [](const fs::path& work) {
                wrappedStep(work, "/bin/chmod",
                            "echo written >/root/written-by-a-step\necho more >>" +
                                (work / "elsewhere/precious").string() +
                                "\nmkdir /root/made-by-a-step\nTOOL 4777 /root/.profile\nchown 65534 /root/.profile TOOL\n");
            };
            fenced.replacements = {{kW + "/tools/chmod-step", fs::canonical("/bin/chmod").string()}};
            return fenced;
        }(),
        [] {
            // A step that reaches for a process, sockets, the network and a
            // device outside the run: all refused, and the install completes.
            HostileVector probed =
                script(installs("Fence_AStepReachesNoProcessSocketNetworkOrDeviceOutside", {},
                                "/Library/QuickTime/Cam.component"),
                       kProbedWorld + kT + " " + kT + " " + kSR + " install Library.QuickTime " + kR +
                           "/Cam.component; status=$?; kill $service $victim; exit $status",
                       1, 0);
            probed.prepare = [](const fs::path& work) { wrappedStep(work, "/bin/chmod", kProbingStep); };
            probed.replacements = {{kW + "/tools/chmod-step", fs::canonical("/bin/chmod").string()}};
            return probed;
        }(),
        [] {
            // Too few descriptors for the fence: refused, never unfenced (the
            // step would write under /root).
            HostileVector starved = script(none("Fence_TooFewDescriptorsRefuseTheRun", {}),
                                           "ulimit -n 9 && exec " + kT + " " + kT + " " + kSR +
                                               " install Library.QuickTime " + kR + "/Cam.component",
                                           1, 0);
            starved.logged = kName + " cannot fence ";
            starved.prepare = [](const fs::path& work) {
                wrappedStep(work, "/bin/chmod", "echo written >/root/written-by-a-step\n");
            };
            starved.replacements = {{kW + "/tools/chmod-step", fs::canonical("/bin/chmod").string()}};
            return starved;
        }(),
        // Whether a path only root may read exists is told to nobody.
        refusedAsElsewhere("Oracle_ARootOnlyPathThatExists", "/root/secret/payload"),
        refusedAsElsewhere("Oracle_ARootOnlyPathThatDoesNot", "/root/secret/gone/payload"),
        [] {
            HostileVector open = none("Attack_LocationFolderOthersCanWrite",
                                      run6("install", "Library.Compositions", kR + "/Cam.plugin"));
            open.prepare = [](const fs::path& work) { chmod((work.parent_path() / "Library/Compositions").c_str(), 0777); };
            return open;
        }(),
        [] {
            // A pane without its helper, and a program of the fallback's name
            // in the current folder.
            HostileVector missing = script(none("Attack_MissingHelperStartsTheCurrentFolder", {}),
                                           "cd " + kW + "/cwd && XDG_CACHE_HOME=/tmp " + kS + " --install digitizer --timeout 1 " + kW +
                                               "/KestrelPrefs.prefPane",
                                           0, 1);
            missing.prepare = [](const fs::path& work) {
                fs::copy(std::string(PRODUCTS_DIR) + "/KestrelPrefs.prefPane", work / "KestrelPrefs.prefPane",
                         fs::copy_options::recursive);
                fs::remove(work / "KestrelPrefs.prefPane/Contents/Helpers/KestrelInstallHelper");
                testsupport::writeFile(work / "cwd/errorNoToolPath", "#!/bin/sh\ntouch /Library/owned\n");
                chmod((work / "cwd/errorNoToolPath").c_str(), 0755);
            };
            return missing;
        }(),
    };
}

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

class HostileArguments : public ::testing::TestWithParam<HostileVector> {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "the sandbox tests run as root";
        const fs::path pane = sandbox.work() / "Pane.prefPane";
        fs::create_directories(pane / "Contents/Helpers");
        tool = pane / "Contents/Helpers/KestrelInstallHelper";
        fs::copy_file(std::string(PRODUCTS_DIR) + "/KestrelInstallHelper", tool);
        resources = pane / "Contents/Resources";
        makePayloadFolder(resources / "Cam.component");
        makePayloadFolder(resources / kShellName);
        makePayloadFolder(sandbox.work() / "-rf");
        for (const std::string& name : {std::string("Cam.plugin"), std::string("Old.plugin"), std::string("Old.qtz"),
                                        std::string("Trap.qtz"), kInvalidName, kLongName}) {
            writeOwnedFile(resources / name, "source " + name, 65534, 0600);
        }
        for (const char* name : {"--", "--help", "-"}) writeOwnedFile(sandbox.work() / name, name, 65534, 0600);
        testsupport::writeFile(sandbox.work() / "elsewhere/precious", "p");
        writeOwnedFile(sandbox.work() / "elsewhere/secret", "s", 65534, 0600);

        fs::create_symlink(sandbox.work() / "elsewhere/secret", resources / "Link.component");
        fs::create_symlink(sandbox.work() / "elsewhere", resources / "Out");
        ASSERT_EQ(mknod((resources / "Disk.component").c_str(), S_IFCHR | 0644, makedev(1, 3)), 0);
        fs::create_directories(resources / "Fifo.component/Contents");
        ASSERT_EQ(mkfifo((resources / "Fifo.component/Contents/pipe").c_str(), 0644), 0);
        makeSetIdPayloadFolder(resources / "Setuid.component");

        const fs::path library = sandbox.library();
        testsupport::writeFile(library / "keep", "k");
        testsupport::writeFile(library / "QuickTime/keep", "k");
        testsupport::writeFile(library / "QuickTime" / kOld / "Contents/Info.plist", "old");
        for (const char* name : {"--", "--help", "-"}) testsupport::writeFile(library / "QuickTime" / name, "installed");
        testsupport::writeFile(library / "QuickTime" / kInvalidName, "installed");
        testsupport::writeFile(library / "QuickTime" / kLongName, "installed");
        testsupport::writeFile(library / "Graphics/Image Units/Old.plugin", "old");
        testsupport::writeFile(library / "Graphics/Quartz Composer Plug-Ins/Old.plugin", "old");
        testsupport::writeFile(library / "Compositions/Old.qtz", "old");
        fs::create_symlink(sandbox.work() / "elsewhere", library / "Compositions/Trap.qtz");
        testsupport::writeFile(sandbox.systemLibrary() / "keep", "k");
        testsupport::writeFile(sandbox.systemLibrary() / "Extensions/Old.kext/Contents/Info.plist", "old");
        testsupport::writeFile(sandbox.home() / ".profile", "profile");
        testsupport::writeFile(sandbox.home() / "Library/QuickTime" / kOld / "Contents/Info.plist", "decoy");
    }

    FileTreeSnapshot snapshot() const {
        return testsupport::snapshotFileTrees({{sandbox.library(), "/Library"},
                                               {sandbox.systemLibrary().parent_path(), "/System"},
                                               {sandbox.home(), "/root"},
                                               {sandbox.work(), sandbox.work().string()},
                                               {PRODUCT_STAGE + kProductPane, kProductPane}});
    }

    std::string expand(std::string entry) const {
        const std::pair<std::string, std::string> values[] = {
            {kT, tool.string()},
            {kR, resources.string()},
            {kW, sandbox.work().string()},
            {kL, std::string(PRODUCTS_DIR) + "/privileged-launcher"},
            {kS, std::string(PRODUCTS_DIR) + "/pane-status"},
            {kP, kProductPane + "/Contents/Helpers/KestrelInstallHelper"},
            {kPP, kProductPane + "/Contents/PlugIns"}};
        for (const auto& [placeholder, value] : values) {
            for (std::size_t at = entry.find(placeholder); at != std::string::npos; at = entry.find(placeholder, at)) {
                entry.replace(at, placeholder.size(), value);
                at += value.size();
            }
        }
        return entry;
    }

    // The source of an install.
    std::string installSource(const HostileVector& vector) const {
        if (!vector.source.empty()) return expand(vector.source);
        const std::vector<std::string>& argv = vector.argv;
        return expand(argv.empty() ? kR + "/Cam.component" : argv.size() == 5 ? argv[4] : argv[5]);
    }

    Sandbox sandbox;
    fs::path tool;
    fs::path resources;
};

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

TEST_P(HostileArguments, ChangeNothingButTheirOwnDestination) {
    const HostileVector& vector = GetParam();
    if (vector.prepare) vector.prepare(sandbox.work());
    std::vector<std::string> argv;
    for (const std::string& entry : vector.argv) argv.push_back(expand(entry));
    std::vector<std::string> command{EXEC_WITH_ARGV, tool.string()};
    command.insert(command.end(), argv.begin(), argv.end());
    if (!vector.shell.empty()) command = {"/bin/sh", "-c", expand(vector.shell)};
    SandboxOptions options;
    options.readOnlyFolders.push_back(fs::path(EXEC_WITH_ARGV).parent_path().string());
    options.installedProduct = true;
    if (vector.inWork) options.workingDirectory = sandbox.work().string();
    for (const auto& [host, inside] : vector.replacements) options.replacements.emplace_back(expand(host), inside);

    const FileTreeSnapshot before = snapshot();
    const SandboxResult result = sandbox.run(watched(vector.umask, command), options);
    EXPECT_EQ(result.exitStatus, vector.exitStatus) << result.standardError;

    const int runs = vector.helperRuns >= 0 ? vector.helperRuns : vector.privilegedRun ? 2 : 1;
    const std::string exiting = kName + " exiting\n";
    if (vector.privilegedRun || !vector.shell.empty()) {
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
        EXPECT_NE(standardError.find(expand(vector.logged)), std::string::npos) << standardError;
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

INSTANTIATE_TEST_SUITE_P(Table, HostileArguments, ::testing::ValuesIn(hostileVectors()),
                         [](const ::testing::TestParamInfo<HostileVector>& info) { return info.param.name; });
