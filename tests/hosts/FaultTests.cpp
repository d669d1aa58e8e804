// Faults during Install and Remove, each ending with the pane's keys telling
// the truth about the disk: the real panes and helper, as root in the sandbox,
// read through pane-status.

#include "support/Sandbox.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;
using testsupport::Sandbox;
using testsupport::SandboxOptions;
using testsupport::SandboxResult;

namespace {

const std::string kPaneStatus = std::string(PRODUCTS_DIR) + "/pane-status";
const std::string kKestrel = std::string(PRODUCTS_DIR) + "/KestrelPrefs.prefPane";
// A pane that calls exit() leaves its objects behind; a sanitizer's leak
// check would change the status its process ends with.
const char* const kNoLeakCheck = "ASAN_OPTIONS=detect_leaks=0";
// The tests' own panes, good and bad, seen in the sandbox.
const SandboxOptions kTestPanesSeen = [] {
    SandboxOptions options;
    options.readOnlyFolders = {TEST_PANES_DIR, TEST_FAULT_PANES_DIR};
    return options;
}();

// The value pane-status printed for a key.
std::string keyValue(const std::string& output, const std::string& key) {
    const std::size_t at = output.find("    " + key + " ");
    if (at == std::string::npos) return "<missing>";
    std::size_t start = output.find_first_not_of(' ', at + 4 + key.size());
    const std::size_t end = output.find('\n', start);
    return start == std::string::npos || start >= end ? "" : output.substr(start, end - start);
}

// The JSON pane-status printed for one payload of one pane; empty when the
// output is no JSON document.
QJsonObject payloadJson(const std::string& output, const char* pane, const char* payload) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(output));
    return document.object().value(pane).toObject().value(payload).toObject();
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "the fault tests run as root";
    }
    SandboxResult paneStatus(std::vector<std::string> arguments, const std::string& pane = kKestrel) {
        arguments.insert(arguments.begin(), kPaneStatus);
        arguments.push_back(pane);
        return sandbox.run(arguments);
    }
    // A writable copy of the KestrelPrefs pane, to take things out of.
    std::string copyOfKestrel() {
        const fs::path copy = sandbox.work() / "KestrelPrefs.prefPane";
        fs::copy(kKestrel, copy, fs::copy_options::recursive);
        return copy.string();
    }
    Sandbox sandbox;
};

} // namespace

// A full disk and a read-only Library: nothing half installed, and
// pane-status fails as soon as the run has ended, saying why.
TEST_F(Faults, AFullDiskOrAReadOnlyLibraryInstallsNothingAndSaysWhyAtOnce) {
    // This process and the sandbox it starts see a tiny file system as /Library.
    ASSERT_EQ(unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const struct {
        unsigned long flags;
        const char* reason;
    } cases[] = {{0, "not enough space in /Library/QuickTime"}, {MS_RDONLY, "the Library folder is read-only"}};
    for (const auto& each : cases) {
        ASSERT_EQ(mount("tmpfs", sandbox.library().c_str(), "tmpfs", each.flags, "size=8k,mode=0755"), 0);
        if (each.flags == 0) fs::create_directory(sandbox.library() / "QuickTime");
        const SandboxResult result = paneStatus({"--install", "digitizer", "--timeout", "60"});
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_NE(result.standardError.find(std::string("pane-status: digitizer: Install did not complete: ") +
                                            each.reason + "\n"),
                  std::string::npos)
            << result.standardError;
        EXPECT_EQ(keyValue(result.standardOutput, "payloadSystemSummary"), "NOT INSTALLED");
        EXPECT_EQ(keyValue(result.standardOutput, "payloadInstalled"), "NO");
        if (each.flags == 0) {
            EXPECT_TRUE(fs::is_empty(sandbox.library() / "QuickTime"));  // not even the hidden copy
        }
        ASSERT_EQ(umount(sandbox.library().c_str()), 0);
    }
}

// A power cut soon after the run: /Library is an ext4 file system on a loop
// device, committing its journal every second; two seconds after the run
// its backing file is copied as the disk held it, and mounted again, which
// replays the journal. The payload is there whole; never a file of it empty
// or cut short.
TEST_F(Faults, APowerCutSoonAfterAnInstallLeavesTheWholeCopy) {
    ASSERT_EQ(unshare(CLONE_NEWNS), 0);
    ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const fs::path disk = sandbox.work() / "library.ext4";
    const fs::path snapshot = sandbox.work() / "after-the-cut.ext4";
    const fs::path replayed = sandbox.work() / "replayed";
    fs::create_directory(replayed);
    const auto shell = [](const std::string& command) { return std::system(command.c_str()); };
    ASSERT_EQ(shell("truncate -s 64M " + disk.string() + " && mkfs.ext4 -q " + disk.string() + " && mount -o loop,commit=1 " +
                    disk.string() + " " + sandbox.library().string() + " && chmod 755 " + sandbox.library().string()),
              0);

    const SandboxResult result = paneStatus({"--install", "digitizer", "--timeout", "20"});
    ASSERT_EQ(shell("sleep 2 && cp --sparse=always " + disk.string() + " " + snapshot.string()), 0);
    ASSERT_EQ(keyValue(result.standardOutput, "payloadSystemSummary"), "Fernhill Digitizer 1.8 (IS UP TO DATE)");
    ASSERT_EQ(shell("mount -o loop " + snapshot.string() + " " + replayed.string()), 0);

    const fs::path source = kKestrel + "/Contents/PlugIns/FernhillDigitizer.component";
    const fs::path copy = replayed / "QuickTime/FernhillDigitizer.component";
    // The run had ended: what it reported done is on disk.
    ASSERT_TRUE(fs::exists(copy));
    int files = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(source)) {
        const fs::path installed = copy / fs::relative(entry.path(), source);
        if (!entry.is_regular_file()) continue;
        ++files;
        EXPECT_EQ(testsupport::readFile(installed), testsupport::readFile(entry.path())) << installed;
    }
    EXPECT_GT(files, 1);
}

// An installed copy of an older version, or one whose Info.plist is empty (a
// copy damaged before it was on disk): --install brings it to the pane's own
// by installing over it, and a second --install changes nothing.
TEST_F(Faults, AnOlderOrDamagedInstalledCopyIsUpdatedByInstall) {
    const fs::path source = kKestrel + "/Contents/PlugIns/FernhillDigitizer.component";
    const fs::path installed = sandbox.library() / "QuickTime/FernhillDigitizer.component";
    const std::string plist = testsupport::readFile(source / "Contents/Info.plist");
    const std::string older = std::regex_replace(plist, std::regex("<string>1\\.8</string>"), "<string>1.7</string>");
    for (const std::string& damaged : {older, std::string()}) {
        fs::remove_all(installed);
        fs::create_directories(installed.parent_path());
        fs::copy(source, installed, fs::copy_options::recursive);
        testsupport::writeFile(installed / "Contents/Info.plist", damaged);
        const SandboxResult before = paneStatus({});
        ASSERT_EQ(keyValue(before.standardOutput, "payloadInstalledAndUpToDate"), "NO");
        // Only the copy whose Info.plist cannot be read is called damaged.
        EXPECT_EQ(keyValue(before.standardOutput, "payloadInstalledCopyDamage"),
                  damaged.empty() ? "The installed copy is damaged: its Info.plist cannot be read. Update repairs it."
                                  : "<missing>");

        const SandboxResult updated = paneStatus({"--install", "digitizer", "--timeout", "20"});
        EXPECT_EQ(updated.exitStatus, 0) << updated.standardError;
        EXPECT_NE(updated.standardOutput.find("digitizer: updated\n"), std::string::npos) << updated.standardOutput;
        EXPECT_EQ(keyValue(updated.standardOutput, "payloadSystemSummary"), "Fernhill Digitizer 1.8 (IS UP TO DATE)");
        EXPECT_EQ(testsupport::readFile(installed / "Contents/Info.plist"), plist);

        const SandboxResult again = paneStatus({"--install", "digitizer"});
        EXPECT_NE(again.standardOutput.find("digitizer: unchanged"), std::string::npos) << again.standardOutput;
    }
}

TEST_F(Faults, ALocationFolderThatIsAPlainFileInstallsNothing) {
    std::ofstream(sandbox.library() / "QuickTime") << "not a folder";
    const SandboxResult result = paneStatus({"--install", "digitizer", "--timeout", "6"});
    EXPECT_EQ(keyValue(result.standardOutput, "payloadSystemSummary"), "NOT INSTALLED");
    EXPECT_TRUE(fs::is_regular_file(sandbox.library() / "QuickTime"));
}

TEST_F(Faults, APayloadRemovedFromThePaneWhileInstalledIsShownAsItIs) {
    const std::string pane = copyOfKestrel();
    const SandboxResult installed = paneStatus({"--install", "digitizer"}, pane);
    EXPECT_EQ(keyValue(installed.standardOutput, "payloadSystemSummary"), "Fernhill Digitizer 1.8 (IS UP TO DATE)");
    fs::remove_all(fs::path(pane) / "Contents/PlugIns/FernhillDigitizer.component");
    const SandboxResult after = paneStatus({}, pane);
    EXPECT_EQ(keyValue(after.standardOutput, "payloadSystemSummary"), "Fernhill Digitizer 1.8 (NEEDS UPDATING)");
    EXPECT_EQ(keyValue(after.standardOutput, "payloadSourceSummary"), "");
    EXPECT_EQ(keyValue(after.standardOutput, "payloadInstalled"), "YES");
}

TEST_F(Faults, AMissingOrBrokenHelperIsReportedAndNothingChanges) {
    const std::string pane = copyOfKestrel();
    const fs::path helper = fs::path(pane) / "Contents/Helpers/KestrelInstallHelper";
    chmod(helper.c_str(), 0644);  // not executable
    SandboxResult result = paneStatus({"--install", "digitizer"}, pane);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.standardError.find("NSInvalidArgumentException"), std::string::npos) << result.standardError;
    EXPECT_EQ(keyValue(result.standardOutput, "payloadSystemSummary"), "NOT INSTALLED");
    // What a script reads: nothing changed, it failed, and why.
    result = paneStatus({"--json", "--install", "digitizer"}, pane);
    EXPECT_EQ(result.exitStatus, 1);
    const QJsonObject failed = payloadJson(result.standardOutput, "Kestrel", "digitizer");
    EXPECT_EQ(failed.value("payloadSystemSummary").toString().toStdString(), "NOT INSTALLED") << result.standardOutput;
    EXPECT_EQ(failed.value("payloadSourceSummary").toString().toStdString(), "Fernhill Digitizer 1.8");
    EXPECT_EQ(failed.value("changed"), QJsonValue(false));
    EXPECT_EQ(failed.value("outcome").toString().toStdString(), "failed");
    EXPECT_TRUE(failed.value("reason").toString().startsWith("NSInvalidArgumentException: "));
    fs::remove(helper);
    result = paneStatus({"--install", "digitizer"}, pane);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(keyValue(result.standardOutput, "payloadSystemSummary"), "NOT INSTALLED");
    // Neither needs the helper: a payload already absent is left alone, and a
    // dry run only says what it would do.
    result = paneStatus({"--remove", "digitizer"}, pane);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_NE(result.standardOutput.find("digitizer: unchanged: not installed\n"), std::string::npos);
    result = paneStatus({"--json", "--dry-run", "--install", "digitizer"}, pane);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    const QJsonObject dryRun = payloadJson(result.standardOutput, "Kestrel", "digitizer");
    EXPECT_EQ(dryRun.value("changed"), QJsonValue(true)) << result.standardOutput;
    EXPECT_EQ(dryRun.value("outcome").toString().toStdString(), "would install");
    EXPECT_TRUE(fs::is_empty(sandbox.library()));
}

// Panes that cannot be read are reported as failed, each with why, and the
// others are still reported, the JSON whole: one whose code raises as it is
// read (its bundle's folder name is no UTF-8, so its class finds no bundle),
// and third parties' panes whose code crashes, exits or hangs.
TEST_F(Faults, APaneThatCannotBeReadIsReportedAndTheOthersStillAre) {
    const fs::path unreadable = sandbox.work() / "Bad\xff.prefPane";
    fs::copy(kKestrel, unreadable, fs::copy_options::recursive);
    const std::string sidelight = std::string(PRODUCTS_DIR) + "/SidelightPane.prefPane";
    const std::string crashes = TEST_FAULT_PANES_DIR "/CrashOnLoad.prefPane";
    const std::string exits = TEST_FAULT_PANES_DIR "/ExitInView.prefPane";
    const std::string hangs = TEST_FAULT_PANES_DIR "/HangInView.prefPane";
    for (const bool json : {false, true}) {
        std::vector<std::string> arguments{"env", kNoLeakCheck, kPaneStatus, unreadable.string(), crashes, sidelight};
        // A hang costs its whole bound: once is enough.
        if (json) arguments.insert(arguments.end(), {"--json", exits, hangs});
        const SandboxResult result = sandbox.run(arguments, kTestPanesSeen);
        EXPECT_EQ(result.exitStatus, 1) << result.standardError;
        for (const std::string& said : {unreadable.string() + ": cannot be read: ",
                                        crashes + ": stopped while loading: it crashed (segmentation fault)"}) {
            EXPECT_NE(result.standardError.find("pane-status: " + said), std::string::npos) << result.standardError;
        }
        if (json) {
            EXPECT_EQ(payloadJson(result.standardOutput, "Sidelight", "camera").value("payloadSourceSummary").toString()
                          .toStdString(),
                      "Fernhill Camera 2.3.1")
                << result.standardOutput;
            const QJsonObject panes = QJsonDocument::fromJson(QByteArray::fromStdString(result.standardOutput)).object();
            EXPECT_EQ(panes.value("ExitInView").toObject().value("failed").toString().toStdString(),
                      "stopped while loading its view: it exited with status 3");
            EXPECT_EQ(panes.value("HangInView").toObject().value("failed").toString().toStdString(),
                      "did not finish loading its view within 10 seconds");
            EXPECT_TRUE(panes.value("Kestrel").toObject().value("failed").toString().startsWith("cannot be read: "))
                << result.standardOutput;
        } else {
            EXPECT_EQ(keyValue(result.standardOutput, "payloadSourceSummary"), "Fernhill Camera 2.3.1");
            EXPECT_EQ(result.standardOutput.find("Kestrel"), std::string::npos) << result.standardOutput;
        }
    }
}

// Preferences shows a pane that crashes, exits or hangs as it is loaded,
// created, its view loaded or selected as failed, says why, and goes on.
TEST_F(Faults, APaneThatCrashesExitsOrHangsNeitherEndsNorFreezesPreferences) {
    const std::string preferences = std::string(PRODUCTS_DIR) + "/Preferences";
    const struct {
        const char* pane;
        const char* why;
    } cases[] = {
        {"CrashOnLoad", "stopped while loading: it crashed (segmentation fault)"},
        {"CrashOnCreate", "stopped while being created: it crashed (segmentation fault)"},
        {"CrashInView", "stopped while loading its view: it crashed (segmentation fault)"},
        {"CrashOnSelect", "stopped while being selected: it crashed (segmentation fault)"},
        {"ExitInView", "stopped while loading its view: it exited with status 3"},
        {"HangInView", "did not finish loading its view within 10 seconds"},
    };
    for (const auto& [pane, why] : cases) {
        const std::string path = std::string(TEST_FAULT_PANES_DIR "/") + pane + ".prefPane";
        const fs::path picture = sandbox.work() / (std::string(pane) + ".png");
        // The screenshot is taken once the pane is shown as failed; the
        // status says it failed.
        const SandboxResult result = sandbox.run({"env", kNoLeakCheck, "QT_QPA_PLATFORM=offscreen", "timeout", "60", preferences,
                                                  "--select", pane, "--screenshot", picture.string(), path,
                                                  TEST_PANES_DIR "/Alpha.prefPane"},
                                                 kTestPanesSeen);
        EXPECT_EQ(result.exitStatus, 1) << pane << result.standardError;
        EXPECT_NE(result.standardError.find("The pane \"" + std::string(pane) + "\" (" + path + ") cannot be loaded: " + why),
                  std::string::npos)
            << result.standardError;
        EXPECT_TRUE(fs::is_regular_file(picture)) << pane;
    }
}

// A pane in the user's own pane folder that crashes Preferences once it is
// shown is not shown by itself at the next start: the window says why.
TEST_F(Faults, APaneThatTookPreferencesDownIsNotOpenedByItselfAtTheNextStart) {
    fs::create_directories(sandbox.home() / "Library/PreferencePanes");
    fs::copy(TEST_FAULT_PANES_DIR "/CrashLater.prefPane", sandbox.home() / "Library/PreferencePanes/CrashLater.prefPane",
             fs::copy_options::recursive);
    const std::vector<std::string> start{"env", "-u", "XDG_STATE_HOME", "HOME=/root", "QT_QPA_PLATFORM=offscreen",
                                         "timeout", "60", std::string(PRODUCTS_DIR) + "/Preferences",
                                         TEST_PANES_DIR "/Alpha.prefPane"};
    const SandboxResult crashed = sandbox.run(start, kTestPanesSeen);
    EXPECT_EQ(crashed.exitStatus, 128 + SIGSEGV) << crashed.standardError;
    EXPECT_NE(crashed.standardError.find("PaneLifecycle CrashLater didSelect"), std::string::npos) << crashed.standardError;

    std::vector<std::string> again = start;
    again.insert(again.end(), {"--screenshot", (sandbox.work() / "held.png").string()});
    const SandboxResult held = sandbox.run(again, kTestPanesSeen);
    EXPECT_EQ(held.exitStatus, 0) << held.standardError;
    EXPECT_NE(held.standardError.find("The pane \"CrashLater\" (/root/Library/PreferencePanes/CrashLater.prefPane) was "
                                      "shown when Preferences last quit unexpectedly"),
              std::string::npos)
        << held.standardError;
    EXPECT_EQ(held.standardError.find("PaneLifecycle CrashLater"), std::string::npos) << held.standardError;
}

TEST_F(Faults, APrivilegedRunKilledHalfwayLeavesNothingInstalledAndTheNextInstallWorks) {
    const std::string helper = kKestrel + "/Contents/Helpers/KestrelInstallHelper";
    const std::string source = kKestrel + "/Contents/PlugIns/FernhillDigitizer.component";
    // The run is killed once its copy has begun, its copy step stopped first
    // (as a frozen one would be): the step ends with the run all the same. The
    // copy step lingers once it has copied, so that it is still there to stop.
    // The real cp lies in the sandbox's home, which the run's fence leaves in view.
    fs::create_directories(sandbox.home() / ".tools");
    fs::copy_file(fs::canonical("/bin/cp"), sandbox.home() / ".tools/cp");
    testsupport::writeFile(sandbox.work() / "slow-cp", "#!/bin/sh\n/root/.tools/cp \"$@\" && exec sleep 30\n");
    fs::permissions(sandbox.work() / "slow-cp", fs::perms(0755));
    SandboxOptions lingering;
    lingering.replacements = {{(sandbox.work() / "slow-cp").string(), fs::canonical("/bin/cp").string()}};
    const SandboxResult killed = sandbox.run(
        {"/bin/sh", "-c",
         "\"$0\" \"$0\" --self-repair install Library.QuickTime \"$1\" & run=$!; n=0; "
         "while ! ls -d /Library/QuickTime/.FernhillDigitizer.component.installing.*/FernhillDigitizer.component/Contents "
         ">/dev/null 2>&1 && [ $n -lt 200 ]; do sleep 0.05; n=$((n+1)); done; steps=$(pgrep -P $run); "
         "kill -STOP $steps; kill -9 $run; wait; live() { ps -o stat= -p \"$steps\" | grep -qv Z; }; n=0; "
         "while [ -n \"$steps\" ] && live && [ $n -lt 10 ]; do sleep 0.1; n=$((n+1)); done; "
         "[ -n \"$steps\" ] || { echo no step was seen >&2; exit 3; }; "
         "! live || { echo a step outlived its run by a second: $(ps -o pid=,stat=,args= -p \"$steps\") >&2; "
         "kill -9 $steps; exit 4; }",
         helper, source},
        lingering);
    EXPECT_EQ(killed.exitStatus, 0) << killed.standardError;
    EXPECT_NE(killed.standardError.find("KestrelInstallHelper executing install"), std::string::npos);
    EXPECT_EQ(killed.standardError.find("KestrelInstallHelper exiting"), std::string::npos);
    EXPECT_FALSE(fs::exists(sandbox.library() / "QuickTime/FernhillDigitizer.component"));
    const auto rooms = [&] {
        int found = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(sandbox.library() / "QuickTime")) {
            found += entry.path().filename().string().starts_with(".FernhillDigitizer.component.installing");
        }
        return found;
    };
    EXPECT_EQ(rooms(), 1);
    EXPECT_EQ(keyValue(paneStatus({}).standardOutput, "payloadSystemSummary"), "NOT INSTALLED");

    const SandboxResult again = paneStatus({"--install", "digitizer"});
    EXPECT_EQ(keyValue(again.standardOutput, "payloadSystemSummary"), "Fernhill Digitizer 1.8 (IS UP TO DATE)");
    EXPECT_EQ(rooms(), 0);
}

// The caller's control group is an ordinary user's, as the system manager
// gives one to every program a user starts; the user freezes it, then kills
// everything in it, while the run copies. The run has left it: it completes,
// and a second run of another caller does not wait on a frozen one.
TEST_F(Faults, ACallerThatOwnsItsControlGroupCanNeitherFreezeNorKillTheRun) {
    ASSERT_FALSE(sandbox.controlGroup().empty()) << "no cgroup2 hierarchy to give the caller a group in";
    const fs::path caller = sandbox.controlGroup() / "caller";
    ASSERT_TRUE(fs::create_directory(caller));
    for (const char* entry : {"", "cgroup.procs", "cgroup.threads", "cgroup.freeze", "cgroup.kill"}) {
        ASSERT_EQ(chown((caller / entry).c_str(), 65534, 65534), 0) << entry;
    }
    const std::string helper = kKestrel + "/Contents/Helpers/KestrelInstallHelper";
    const std::string source = kKestrel + "/Contents/PlugIns/FernhillDigitizer.component";
    fs::create_directories(sandbox.home() / ".tools");
    fs::copy_file(fs::canonical("/bin/cp"), sandbox.home() / ".tools/cp");
    testsupport::writeFile(sandbox.work() / "slow-cp", "#!/bin/sh\n/root/.tools/cp \"$@\" && exec sleep 2\n");
    fs::permissions(sandbox.work() / "slow-cp", fs::perms(0755));
    SandboxOptions slow;
    slow.replacements = {{(sandbox.work() / "slow-cp").string(), fs::canonical("/bin/cp").string()}};
    const SandboxResult result = sandbox.run(
        {"/bin/sh", "-c",
         "user() { setpriv --reuid=65534 --regid=65534 --clear-groups -- sh -c \"$1\"; }; "
         "sh -c 'echo $$ >/sys/fs/cgroup/caller/cgroup.procs && exec \"$0\" \"$0\" --self-repair install "
         "Library.QuickTime \"$1\"' \"$0\" \"$1\" & n=0; "
         "while ! ls -d /Library/QuickTime/.FernhillDigitizer.component.installing.*/FernhillDigitizer.component "
         ">/dev/null 2>&1 && [ $n -lt 200 ]; do sleep 0.05; n=$((n+1)); done; "
         "user 'echo 1 >/sys/fs/cgroup/caller/cgroup.freeze' && user 'echo 1 >/sys/fs/cgroup/caller/cgroup.kill' && "
         "timeout 60 \"$0\" \"$0\" --self-repair install Library.QuickTime \"$1\"; status=$?; wait; exit $status",
         helper, source},
        slow);
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    std::size_t exits = 0;
    for (std::size_t at = result.standardError.find("KestrelInstallHelper exiting"); at != std::string::npos;
         at = result.standardError.find("KestrelInstallHelper exiting", at + 1)) {
        ++exits;
    }
    EXPECT_EQ(exits, 2u) << result.standardError;
    EXPECT_EQ(testsupport::readFile(caller / "cgroup.procs"), "");
    EXPECT_EQ(keyValue(paneStatus({}).standardOutput, "payloadSystemSummary"), "Fernhill Digitizer 1.8 (IS UP TO DATE)");
}

// pkexec stand-ins end as the real one does in each case; the real one,
// not set-uid inside the sandbox, cannot work at all.
TEST_F(Faults, EachWayTheAuthorizationFailsIsNamedAndInstallsNothing) {
    // No waiting for an outcome that cannot come, however long it may take;
    // one that keeps asking is ended at --timeout.
    const struct {
        std::string pkexec, timeout, reason;
    } cases[] = {
        {"exit 126", "inf", "the request for an administrator's password was cancelled"},
        {"echo 'Error executing command as another user: Not authorized' >&2; exit 127", "inf",
         "administrator rights were refused (a wrong password, or an account that may not administer this computer)"},
        {"echo 'Error creating textual authentication agent: Error opening current controlling terminal for the "
         "process (`/dev/tty'\\''): No such device or address' >&2; exit 127",
         "inf", "no authentication agent is running to ask for an administrator's password"},
        {"", "inf", "polkit, the system's authorization service, could not be reached or is not working"},
        {"exec sleep 60", "2",
         "no outcome within 2 seconds; what it had started was stopped before anything was done"}};
    for (const auto& [pkexec, timeout, reason] : cases) {
        SandboxOptions options;
        options.asUnprivilegedUser = true;
        const fs::path standIn = sandbox.work() / "pkexec";
        if (!pkexec.empty()) {
            std::ofstream(standIn) << "#!/bin/sh\n" << pkexec << "\n";
            chmod(standIn.c_str(), 0755);
            options.replacements.emplace_back(standIn.string(), "/usr/bin/pkexec");
        }
        const auto started = std::chrono::steady_clock::now();
        const SandboxResult result =
            sandbox.run({kPaneStatus, "--install", "digitizer", "--timeout", timeout, "--verbose", kKestrel}, options);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30)) << reason;
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_NE(result.standardError.find("pane-status: digitizer: Install did not complete: " + reason + "\n"),
                  std::string::npos)
            << result.standardError;
        EXPECT_EQ(keyValue(result.standardOutput, "payloadSystemSummary"), "NOT INSTALLED") << result.standardError;
        EXPECT_EQ(result.standardError.find("called AEWP"), std::string::npos);
        EXPECT_TRUE(fs::is_empty(sandbox.library()));
    }
}

TEST_F(Faults, ASymbolicLinkAtTheDestinationIsNeitherWrittenNorDeletedThrough) {
    const fs::path elsewhere = sandbox.work() / "elsewhere";
    fs::create_directories(elsewhere);
    std::ofstream(elsewhere / "precious") << "p";
    fs::create_directories(sandbox.library() / "QuickTime");
    const fs::path link = sandbox.library() / "QuickTime/FernhillDigitizer.component";
    fs::create_symlink(elsewhere, link);

    // Something is there, and it is not the bundled payload: the pane says so,
    // and Install leaves it alone.
    const SandboxResult install = paneStatus({"--install", "digitizer", "--timeout", "2"});
    EXPECT_EQ(keyValue(install.standardOutput, "payloadInstalled"), "YES");
    EXPECT_EQ(keyValue(install.standardOutput, "payloadInstalledAndUpToDate"), "NO");
    EXPECT_EQ(keyValue(install.standardOutput, "payloadSystemSummary"), "(NEEDS UPDATING)");  // no name, no version
    EXPECT_EQ(fs::read_symlink(link), elsewhere);
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(elsewhere), {}), std::vector<fs::path>{elsewhere / "precious"});

    // Remove takes the link away, not what it points to.
    const SandboxResult remove = paneStatus({"--remove", "digitizer"});
    EXPECT_EQ(keyValue(remove.standardOutput, "payloadSystemSummary"), "NOT INSTALLED") << remove.standardError;
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(elsewhere), {}), std::vector<fs::path>{elsewhere / "precious"});

    const SandboxResult again = paneStatus({"--install", "digitizer"});
    EXPECT_EQ(keyValue(again.standardOutput, "payloadSystemSummary"), "Fernhill Digitizer 1.8 (IS UP TO DATE)");
    EXPECT_FALSE(fs::is_symlink(link));
}
