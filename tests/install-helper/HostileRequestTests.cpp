// What an attacker hands the root side, as root in the sandbox: sources that
// are no payload, requests to the launcher and to pane-status, and callers
// with their own streams, limits and signal dispositions, and steps that
// reach past the fence. Nothing changes but the one destination a vector
// legitimately names (HostileWorld.h).

#include "HostileWorld.h"

#include "support/TempDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace hostile;

namespace {

// A program of tests/install-helper/hostile, where the sandbox shows it.
std::string hostileProgram(const std::string& name) { return std::string(HOSTILE_PROGRAMS) + "/" + name; }

// A request handed to the launcher: the program and its arguments, NUL-separated.
std::string launcherRequest(const std::vector<std::string>& fields) {
    std::string quoted;
    for (const std::string& field : fields) quoted += " '" + field + "'";
    return "printf '%s\\0'" + quoted + " | " + kLauncher;
}

// The request for a privileged install of Cam.component by `program`, with
// any entries more.
std::string installRequest(const Paths& paths, const std::string& program, std::vector<std::string> more = {}) {
    std::vector<std::string> fields{program, program, kSR, "install", "Library.QuickTime", paths.resources + "/Cam.component"};
    fields.insert(fields.end(), more.begin(), more.end());
    return launcherRequest(fields);
}

// A privileged install of Cam.component by a caller that set `limits` and
// ignores SIGCHLD and SIGXFSZ.
std::function<std::string(const Paths&)> withInheritedLimits(const std::string& limits) {
    return [limits](const Paths& paths) {
        return limits + " && exec /usr/bin/python3 " + hostileProgram("ignoring_signals.py") + " " +
               privilegedInstallWords(paths);
    };
}

// The helper's privileged run with a standard error that is a full pipe
// nobody reads ("unread") or whose reader is gone ("closed").
std::function<std::string(const Paths&)> withFullPipe(const std::string& reader) {
    return [reader](const Paths& paths) {
        return "timeout 20 /usr/bin/python3 " + hostileProgram("with_full_pipe.py") + " " + reader + " " +
               privilegedInstallWords(paths);
    };
}

// The root service the probing step tries to reach, and the root process it
// signals; the probe first shows it reaches all five from outside a run.
std::string probedWorld() {
    return "/usr/bin/python3 " + hostileProgram("probed_service.py") +
           " & service=$!; sleep 4242 & victim=$!; n=0; "
           "while [ ! -S /run/privet-probe.sock ] && [ $n -lt 100 ]; do sleep 0.05; n=$((n+1)); done; "
           "/bin/chmod --version >/dev/null 2>/run/outside; "
           "[ \"$(grep -c '" + kReached + "' /run/outside)\" -eq 5 ] || { sed 's/" + kReached +
           "/seen: /' /run/outside >&2; exit 4; }; ";
}

// An install of a source in a folder only root may read, prepared with one
// payload in it: refused alike whether or not the source exists.
HostileVector refusedAsElsewhere(std::string name, const std::string& source) {
    HostileVector vector = prepared(none(std::move(name), run6("install", "Library.QuickTime", source)), [](const Paths& paths) {
        testsupport::writeFile(fs::path(paths.home) / "secret/payload", "p");
        chmod((fs::path(paths.home) / "secret").c_str(), 0700);
    });
    vector.logged = kName + " refused to install " + source + ": it lies outside the helper's bundle ";
    return vector;
}

std::vector<HostileVector> hostileSources() {
    return {
        none("Attack_SourceIsASymbolicLink", run6("install", "Library.QuickTime", resource("Link.component"))),
        none("Attack_SourceLeadsOutOfTheBundle", run6("install", "Library.QuickTime", resource("Out/precious"))),
        inWork(none("Attack_RelativeSource", run6("install", "Library.QuickTime", "elsewhere"))),
        none("Attack_SourceOutsideTheBundle", run6("install", "Library.QuickTime", "/etc")),
        none("Attack_SourceIsAnotherHome", run6("install", "Library.QuickTime", "/root")),
        none("Attack_SourceIsADevice", run6("install", "Library.QuickTime", "/dev/null")),
        none("Attack_SourceIsADeviceInTheBundle", run6("install", "Library.QuickTime", resource("Disk.component"))),
        none("Attack_SourceHoldsAFifo", run6("install", "Library.QuickTime", resource("Fifo.component"))),
        installs("Attack_SetIdAndWritableEntriesNeverShow",
                 run6("install", "Library.QuickTime", resource("Setuid.component")),
                 "/Library/QuickTime/Setuid.component"),
        prepared(installs("Attack_SetIdEntriesNeverShowInAMerge",
                          run6("install", "Library.QuickTime", resource("Setuid.component")),
                          "/Library/QuickTime/Setuid.component"),
                 [](const Paths& paths) {
                     testsupport::writeFile(fs::path(paths.library) / "QuickTime/Setuid.component/kept", "installed");
                 }),
        [] {
            HostileVector open = installs("Attack_UmaskZeroMakesNoOpenFolders",
                                          run6("install", "Library.CoreMediaIO", resource("Cam.component")),
                                          "/Library/CoreMediaIO/Plug-Ins/DAL/Cam.component");
            open.umask = 0;
            return open;
        }(),
        // A root-owned link to where a user may create the folder later; the
        // user makes it once the run has looked, before it makes folders.
        withStep(prepared(none("Attack_LocationFolderIsADanglingLink",
                               run6("install", "Library.CoreMediaIO", resource("Cam.component"))),
                          [](const Paths& paths) {
                              const fs::path user = fs::path(paths.work) / "user";
                              fs::create_directories(user);
                              EXPECT_EQ(chown(user.c_str(), 65534, 65534), 0);
                              fs::create_symlink(user / "cmio", fs::path(paths.library) / "CoreMediaIO");
                          }),
                 "/bin/mkdir", [](const Paths& paths) { return "TOOL -p " + paths.work + "/user/cmio\n"; }),
        prepared(none("Attack_LocationFolderOthersCanWrite", run6("install", "Library.Compositions", resource("Cam.plugin"))),
                 [](const Paths& paths) { chmod((fs::path(paths.library) / "Compositions").c_str(), 0777); }),
        // Whether a path only root may read exists is told to nobody.
        refusedAsElsewhere("Oracle_ARootOnlyPathThatExists", "/root/secret/payload"),
        refusedAsElsewhere("Oracle_ARootOnlyPathThatDoesNot", "/root/secret/gone/payload"),
    };
}

// What an attacker would hand the root side after one approval, and a pane
// handed to pane-status without its helper.
std::vector<HostileVector> hostileRequests() {
    return {
        script(none("Attack_LauncherStartsAShell", {}),
               [](const Paths&) { return launcherRequest({"/bin/sh", "/bin/sh", "-c", "touch /Library/owned"}); }, 0, 1),
        script(none("Attack_LauncherStartsAHelperWithAnotherShape", {}),
               [](const Paths& paths) { return installRequest(paths, paths.tool, {"extra"}); }, 0, 1),
        prepared(script(none("Attack_LauncherStartsAHelperOthersCanChange", {}),
                        [](const Paths& paths) { return installRequest(paths, paths.work + "/open/KestrelInstallHelper"); },
                        0, 1),
                 [](const Paths& paths) {
                     const fs::path folder = fs::path(paths.work) / "open";
                     fs::create_directories(folder);
                     fs::copy_file(std::string(PRODUCTS_DIR) + "/KestrelInstallHelper", folder / "KestrelInstallHelper");
                     chmod(folder.c_str(), 0777);
                 }),
        [] {
            HostileVector own = script(installs("Attack_LauncherStartsAPrivilegedRun", {},
                                                "/Library/QuickTime/FernhillDigitizer.component"),
                                       [](const Paths&) {
                                           return launcherRequest({kProductHelper, kProductHelper, kSR, "install",
                                                                   "Library.QuickTime",
                                                                   kProductPlugIns + "/FernhillDigitizer.component"});
                                       },
                                       1, 0);
            own.source = kProductPlugIns + "/FernhillDigitizer.component";
            return own;
        }(),
        script(none("Attack_LauncherStartsAHelperOutsideTheProduct", {}),
               [](const Paths& paths) { return installRequest(paths, paths.tool); }, 0, 1),
        script(none("Attack_LauncherStartsARootOwnedProgramOnAUserMount", {}),
               [](const Paths& paths) {
                   return "mkdir -p /media/u && mount -n -t tmpfs -o nosuid,nodev,mode=0755 stick /media/u && "
                          "printf '#!/bin/sh\\ntouch /Library/owned\\n' >/media/u/KestrelInstallHelper && "
                          "chmod 755 /media/u/KestrelInstallHelper && " +
                          installRequest(paths, "/media/u/KestrelInstallHelper");
               },
               0, 1),
        // Our own helper, installed as if it were a plug-in: its "own bundle"
        // would be the whole location folder.
        prepared(script(none("Attack_LauncherStartsAHelperCopiedIntoALibraryFolder", {}),
                        [](const Paths&) {
                            const std::string copy = "/Library/QuickTime/KestrelInstallHelper";
                            return launcherRequest(
                                {copy, copy, kSR, "install", "Library.CoreMediaIO", "/Library/QuickTime/" + kOld});
                        },
                        0, 1),
                 [](const Paths& paths) {
                     const fs::path helper = fs::path(paths.library) / "QuickTime/KestrelInstallHelper";
                     fs::copy_file(std::string(PRODUCTS_DIR) + "/KestrelInstallHelper", helper);
                     chmod(helper.c_str(), 0755);
                 }),
        script(none("Attack_LauncherWaitsForARequestThatNeverComes", {}),
               [](const Paths&) { return "mkfifo /tmp/never && exec 3<>/tmp/never && timeout 20 " + kLauncher + " <&3"; },
               0, 1),
        script(none("Attack_LauncherRefusalForgesALogLine", {}),
               [](const Paths& paths) {
                   return launcherRequest({"/x\n" + kForgedLine + "\n/KestrelInstallHelper", "/x", kSR, "install",
                                           "Library.QuickTime", paths.resources + "/Cam.component"});
               },
               0, 1),
        // A pane without its helper, and a program of the fallback's name in
        // the current folder.
        prepared(script(none("Attack_MissingHelperStartsTheCurrentFolder", {}),
                        [](const Paths& paths) {
                            return "cd " + paths.work + "/cwd && XDG_CACHE_HOME=/tmp " + kPaneStatus +
                                   " --install digitizer --timeout 1 " + paths.work + "/KestrelPrefs.prefPane";
                        },
                        0, 1),
                 [](const Paths& paths) {
                     const fs::path work = paths.work;
                     fs::copy(std::string(PRODUCTS_DIR) + "/KestrelPrefs.prefPane", work / "KestrelPrefs.prefPane",
                              fs::copy_options::recursive);
                     fs::remove(work / "KestrelPrefs.prefPane/Contents/Helpers/KestrelInstallHelper");
                     testsupport::writeFile(work / "cwd/errorNoToolPath", "#!/bin/sh\ntouch /Library/owned\n");
                     chmod((work / "cwd/errorNoToolPath").c_str(), 0755);
                 }),
    };
}

// Callers with streams, limits and signal dispositions of their own, and
// steps that reach past the fence.
std::vector<HostileVector> hostileCallers() {
    return {
        script(installs("Streams_AFullPipeNobodyReads", {}, "/Library/QuickTime/Cam.component"), withFullPipe("unread"),
               0, 0),
        script(installs("Streams_AFullPipeWhoseReaderIsGone", {}, "/Library/QuickTime/Cam.component"),
               withFullPipe("closed"), 0, 0),
        // A caller that ignores SIGCHLD and SIGXFSZ and allows no file any
        // size: the copy is whole all the same, never empty or cut short.
        script(installs("Inherited_IgnoredSignalsAndNoFileSize", {}, "/Library/QuickTime/Cam.component"),
               withInheritedLimits("ulimit -S -f 0"), 1, 0),
        // The same caller allowing files of 4 kB (8 blocks of the shell's),
        // over an installed copy: a 16 kB file of the source arrives whole.
        prepared(script(installs("Inherited_IgnoredSignalsAnd4kFilesInAMerge", {}, "/Library/QuickTime/Cam.component"),
                        withInheritedLimits("ulimit -S -f 8"), 1, 0),
                 [](const Paths& paths) {
                     testsupport::writeFile(fs::path(paths.resources) / "Cam.component/Contents/large",
                                            std::string(16384, 'x'));
                     testsupport::writeFile(fs::path(paths.library) / "QuickTime/Cam.component/kept", "installed");
                 }),
        // A step that also writes, changes modes and owners elsewhere.
        withStep(installs("Fence_AStepCanChangeNothingOutsideTheLibrary",
                          run6("install", "Library.QuickTime", resource("Cam.component")), "/Library/QuickTime/Cam.component"),
                 "/bin/chmod",
                 [](const Paths& paths) {
                     return "echo written >/root/written-by-a-step\necho more >>" + paths.work +
                            "/elsewhere/precious\nmkdir /root/made-by-a-step\nTOOL 4777 /root/.profile\n"
                            "chown 65534 /root/.profile TOOL\n";
                 }),
        // A step that reaches for a process, sockets, the network and a device
        // outside the run: all refused, and the install completes.
        withStep(script(installs("Fence_AStepReachesNoProcessSocketNetworkOrDeviceOutside", {},
                                 "/Library/QuickTime/Cam.component"),
                        [](const Paths& paths) {
                            return probedWorld() + privilegedInstallWords(paths) +
                                   "; status=$?; kill $service $victim; exit $status";
                        },
                        1, 0),
                 "/bin/chmod",
                 [](const Paths&) {
                     return "/usr/bin/python3 - <<'EOF'\n" + testsupport::readFile(hostileProgram("probe_outside.py")) +
                            "EOF\n";
                 }),
        // Too few descriptors for the fence: refused, never unfenced (the step
        // would write under /root).
        [] {
            HostileVector starved =
                withStep(script(none("Fence_TooFewDescriptorsRefuseTheRun", {}),
                                [](const Paths& paths) { return "ulimit -n 9 && exec " + privilegedInstallWords(paths); },
                                1, 0),
                         "/bin/chmod", [](const Paths&) { return std::string("echo written >/root/written-by-a-step\n"); });
            starved.logged = kName + " cannot fence ";
            return starved;
        }(),
    };
}

// The world, with sources that are no payload.
class HostileSources : public HostileWorld {
protected:
    void SetUp() override {
        HostileWorld::SetUp();
        if (!IsSkipped()) addHostileSources(paths);
    }
};

class HostileRequests : public HostileWorld {};
class HostileCallers : public HostileWorld {};

} // namespace

TEST_P(HostileSources, ChangeNothingButTheirOwnDestination) { runAndCheck(GetParam()); }
TEST_P(HostileRequests, ChangeNothingButTheirOwnDestination) { runAndCheck(GetParam()); }
TEST_P(HostileCallers, ChangeNothingButTheirOwnDestination) { runAndCheck(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Table, HostileSources, ::testing::ValuesIn(hostileSources()), nameOf);
INSTANTIATE_TEST_SUITE_P(Table, HostileRequests, ::testing::ValuesIn(hostileRequests()), nameOf);
INSTANTIATE_TEST_SUITE_P(Table, HostileCallers, ::testing::ValuesIn(hostileCallers()), nameOf);
