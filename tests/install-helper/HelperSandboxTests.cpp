// The real install helpers, run as root inside a private mount namespace.

#include "support/Sandbox.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;
using testsupport::logLines;
using testsupport::Sandbox;
using testsupport::SandboxOptions;
using testsupport::SandboxResult;

namespace {

const std::string kKestrel = std::string(PRODUCTS_DIR) + "/KestrelInstallHelper";
const std::string kOsprey = std::string(PRODUCTS_DIR) + "/OspreyInstallHelper";

gid_t administratorsGid() {
    for (const char* name : {"admin", "sudo", "wheel"}) {
        if (const group* found = getgrnam(name)) return found->gr_gid;
    }
    return 0;
}

// A payload bundle inside a pane bundle, its files owned by "nobody" with
// modes that the install must replace.
std::string makePayloadBundle(const fs::path& resources, const std::string& name, const std::string& version) {
    const fs::path bundle = resources / name;
    testsupport::writeFile(bundle / "Contents/Info.plist", "<plist><dict><key>CFBundleVersion</key><string>" +
                                                               version + "</string></dict></plist>\n");
    testsupport::writeFile(bundle / "Contents/Linux/payload.so", "code " + version);
    fs::create_symlink("Contents/Linux/payload.so", bundle / "Current");
    for (const auto& entry : fs::recursive_directory_iterator(bundle)) {
        EXPECT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0);
        if (!entry.is_symlink()) chmod(entry.path().c_str(), entry.is_directory() ? 0700 : 0600);
    }
    EXPECT_EQ(chown(bundle.c_str(), 65534, 65534), 0);
    chmod(bundle.c_str(), 0700);
    return bundle.string();
}

// Every entry at and below `path` has mode 755, owner root and the
// administrators' group (symbolic links: owner and group only).
void expectInstalledModesAndOwners(const fs::path& path) {
    std::vector<fs::path> entries{path};
    if (fs::is_directory(fs::symlink_status(path))) {
        for (const auto& entry : fs::recursive_directory_iterator(path)) entries.push_back(entry.path());
    }
    for (const fs::path& entry : entries) {
        struct stat status{};
        ASSERT_EQ(lstat(entry.c_str(), &status), 0) << entry;
        EXPECT_EQ(status.st_uid, 0u) << entry;
        EXPECT_EQ(status.st_gid, administratorsGid()) << entry;
        if (!S_ISLNK(status.st_mode)) {
            EXPECT_EQ(status.st_mode & 07777, 0755u) << entry;
        }
    }
}

std::vector<std::string> privilegedRunLines(const std::string& tool, const std::string& command,
                                            const std::string& location, const std::string& payload,
                                            const std::string& destination) {
    const std::string name = fs::path(tool).filename();
    return {name + " (argc > ARGUMENT_COUNT)",        name + " argv0:" + tool + " ",
            name + " argv1:" + tool + " ",            name + " argv2:--self-repair ",
            name + " command:" + command + " ",       name + " location:" + location + " ",
            name + " payload:" + payload + " ",       name + " destination:" + destination + " "};
}

// The log lines after the "started BUILD" line, which is checked on its own.
std::vector<std::string> linesAfterStart(const std::string& tool, const std::string& standardError) {
    std::vector<std::string> lines = testsupport::logLinesOfFirstProcess(standardError);
    const std::string name = fs::path(tool).filename();
    static const std::regex stamp(R"([A-Z][a-z]{2} [ 0-9]\d \d{4} \d{2}:\d{2}:\d{2})");
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return lines;
    const std::string first = name + " started BUILD ";
    EXPECT_EQ(lines.front().substr(0, first.size()), first) << lines.front();
    EXPECT_TRUE(std::regex_match(lines.front().substr(std::min(first.size(), lines.front().size())), stamp))
        << lines.front();
    lines.erase(lines.begin());
    return lines;
}

template <class... More>
std::vector<std::string> concat(std::vector<std::string> lines, const More&... more) {
    (lines.insert(lines.end(), more.begin(), more.end()), ...);
    return lines;
}

// A pane bundle in the work folder carrying both helpers and the launcher,
// as built panes do: a helper installs only payloads of its own bundle.
class HelperInSandbox : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "the sandbox tests run as root";
        const fs::path pane = sandbox.work() / "Pane.prefPane";
        resources = pane / "Contents/Resources";
        fs::create_directories(resources);
        fs::create_directories(pane / "Contents/Helpers");
        for (const char* program : {"KestrelInstallHelper", "OspreyInstallHelper", "privileged-launcher"}) {
            fs::copy_file(fs::path(PRODUCTS_DIR) / program, pane / "Contents/Helpers" / program);
        }
        kestrel = (pane / "Contents/Helpers/KestrelInstallHelper").string();
        osprey = (pane / "Contents/Helpers/OspreyInstallHelper").string();
    }

    SandboxResult privilegedRun(const std::string& command, const std::string& location, const std::string& source,
                                const SandboxOptions& options = {}, std::string tool = {}) {
        if (tool.empty()) tool = kestrel;
        return sandbox.run({tool, tool, "--self-repair", command, location, source}, options);
    }

    Sandbox sandbox;
    fs::path resources;
    std::string kestrel;
    std::string osprey;
};

} // namespace

TEST_F(HelperInSandbox, InstallsABundleFolderCreatingMissingParentFolders) {
    const std::string source = makePayloadBundle(resources, "Cam.plugin", "2.0");
    const SandboxResult result = privilegedRun("install", "Library.CoreMediaIO", source);
    EXPECT_EQ(result.exitStatus, 0);

    const fs::path installed = sandbox.library() / "CoreMediaIO/Plug-Ins/DAL/Cam.plugin";
    EXPECT_EQ(testsupport::readFile(installed / "Contents/Linux/payload.so"), "code 2.0");
    EXPECT_TRUE(fs::is_symlink(installed / "Current"));
    EXPECT_EQ(fs::read_symlink(installed / "Current"), "Contents/Linux/payload.so");
    expectInstalledModesAndOwners(installed);
    EXPECT_EQ(linesAfterStart(kestrel, result.standardError),
              concat(privilegedRunLines(kestrel, "install", "Library.CoreMediaIO", source,
                                        "/Library/CoreMediaIO/Plug-Ins/DAL/Cam.plugin"),
                     std::vector<std::string>{"KestrelInstallHelper executing install", "KestrelInstallHelper exiting"}));
}

// A chroot, as a package's test bed has: the root folder is no mount of its
// own, so the run is fenced without its read-only view, and still installs.
TEST_F(HelperInSandbox, InstallsFromAChrootWhoseRootIsNoMount) {
    const std::string source = makePayloadBundle(resources, "Cam.plugin", "2.0");
    const SandboxResult result = sandbox.run(
        {"/bin/sh", "-c",
         "set -e; jail=/tmp/jail; work=$0 tests=$1; shift; mkdir -p $jail/run $jail/tmp\n"
         "for dir in /usr /etc /dev /proc /Library /root \"$work\" \"$tests\"; do\n"
         "  mkdir -p \"$jail$dir\"; mount --rbind \"$dir\" \"$jail$dir\"; done\n"
         "for top in /bin /sbin /lib /lib64; do\n"
         "  if [ -L $top ]; then ln -s \"$(readlink $top)\" \"$jail$top\";\n"
         "  elif [ -d $top ]; then mkdir \"$jail$top\"; mount --rbind $top \"$jail$top\"; fi; done\n"
         "exec chroot \"$jail\" \"$@\"",
         // The sanitizers' suppression files lie with the tests' sources.
         sandbox.work().string(), fs::path(SANDBOX_EXEC).parent_path().parent_path().string(), kestrel, kestrel, "--self-repair", "install", "Library.CoreMediaIO", source});
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(testsupport::readFile(sandbox.library() / "CoreMediaIO/Plug-Ins/DAL/Cam.plugin/Contents/Linux/payload.so"),
              "code 2.0");
    EXPECT_NE(result.standardError.find("KestrelInstallHelper changes modes and owners without a read-only view: "
                                        "its root folder is not a mount"),
              std::string::npos)
        << result.standardError;
    EXPECT_EQ(result.standardError.find("cannot fence"), std::string::npos) << result.standardError;
}

TEST_F(HelperInSandbox, InstallsAPlainFileAsAFileInSeveralLocations) {
    const fs::path file = resources / "Blur Filter.plugin";
    testsupport::writeFile(file, "a plain file");
    chmod(file.c_str(), 0600);
    fs::create_directories(sandbox.library() / "Graphics/Image Units");

    EXPECT_EQ(privilegedRun("install", "Library.CoreImage", file.string()).exitStatus, 0);
    EXPECT_EQ(privilegedRun("install", "System.Library.KEXT", file.string()).exitStatus, 0);

    for (const fs::path& installed : {sandbox.library() / "Graphics/Image Units/Blur Filter.plugin",
                                      sandbox.systemLibrary() / "Extensions/Blur Filter.plugin"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(installed))) << installed;
        EXPECT_EQ(testsupport::readFile(installed), "a plain file");
        expectInstalledModesAndOwners(installed);
    }
    EXPECT_FALSE(fs::exists(sandbox.library() / "Extensions"));
}

TEST_F(HelperInSandbox, ReinstallMergesIntoTheExistingCopy) {
    const fs::path installed = sandbox.library() / "QuickTime/Cam.component";
    testsupport::writeFile(installed / "Contents/Linux/payload.so", "code 1.0");
    testsupport::writeFile(installed / "Contents/Resources/kept-from-before", "old");
    const std::string source = makePayloadBundle(resources, "Cam.component", "2.0");

    EXPECT_EQ(privilegedRun("install", "Library.QuickTime", source).exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(installed / "Contents/Linux/payload.so"), "code 2.0");
    EXPECT_EQ(testsupport::readFile(installed / "Contents/Resources/kept-from-before"), "old");
    expectInstalledModesAndOwners(installed);
}

TEST_F(HelperInSandbox, DeleteRemovesTheInstalledCopyAndListsWhatItRemoved) {
    const fs::path installed = sandbox.library() / "QuickTime/Cam.component";
    testsupport::writeFile(installed / "Contents/Info.plist", "x");
    testsupport::writeFile(sandbox.library() / "QuickTime/Other.component", "stays");
    const std::string source = (resources / "Cam.component").string();

    const SandboxResult result = privilegedRun("delete", "Library.QuickTime", source);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_FALSE(fs::exists(installed));
    EXPECT_TRUE(fs::exists(sandbox.library() / "QuickTime/Other.component"));
    // Deleted from the room it was moved into whole, which goes too.
    EXPECT_TRUE(std::regex_search(result.standardOutput,
                                  std::regex("removed directory '/Library/QuickTime/\\.Cam\\.component\\.removing\\."
                                             "[A-Za-z0-9]{8}/Cam\\.component'")))
        << result.standardOutput;
    EXPECT_EQ(std::distance(fs::directory_iterator(sandbox.library() / "QuickTime"), fs::directory_iterator()), 1);
    EXPECT_EQ(linesAfterStart(kestrel, result.standardError),
              concat(privilegedRunLines(kestrel, "delete", "Library.QuickTime", source,
                                        "/Library/QuickTime/Cam.component"),
                     std::vector<std::string>{"KestrelInstallHelper executing delete",
                                              "KestrelInstallHelper done with delete: ?",
                                              "KestrelInstallHelper exiting"}));
}

TEST_F(HelperInSandbox, DeleteOfAnAbsentDestinationStartsNothing) {
    const SandboxResult result = privilegedRun("delete", "Library.QuickTime", "/nowhere/Cam.component");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, "");
    const std::vector<std::string> lines = linesAfterStart(kestrel, result.standardError);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"KestrelInstallHelper executing delete",
                                        "KestrelInstallHelper done with delete: ?", "KestrelInstallHelper exiting"}));
}

TEST_F(HelperInSandbox, InstallOfAMissingSourceStartsNothing) {
    // Missing in the helper's bundle, and in a folder of it that is missing too.
    for (const fs::path& source : {resources / "Missing.component", resources / "Gone/Cam.component"}) {
        const SandboxResult result = privilegedRun("install", "Library.QuickTime", source);
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_TRUE(fs::is_empty(sandbox.library()));
        const std::vector<std::string> lines = linesAfterStart(kestrel, result.standardError);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], "KestrelInstallHelper executing install") << source;
        EXPECT_EQ(lines.back(), "KestrelInstallHelper exiting");
    }
}

TEST_F(HelperInSandbox, ElevationRunAsRootStartsThePrivilegedRunAndDoesNotWaitForIt) {
    const std::string source = makePayloadBundle(resources, "Cam.plugin", "3.1");
    const SandboxResult result = sandbox.run({osprey, osprey, "install", "Library.CoreMediaIO", source});
    EXPECT_EQ(result.exitStatus, 0);
    const std::vector<std::string> elevation = linesAfterStart(osprey, result.standardError);
    ASSERT_GE(elevation.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(elevation.begin(), elevation.begin() + 4),
              (std::vector<std::string>{"OspreyInstallHelper (argc == ARGUMENT_COUNT)",
                                        "OspreyInstallHelper executing self-repair", "OspreyInstallHelper called AEWP",
                                        "OspreyInstallHelper exiting"}));

    // The privileged run goes on after the elevation run has ended.
    ASSERT_TRUE(sandbox.waitForLines("OspreyInstallHelper exiting", 2)) << sandbox.standardErrorSoFar();
    const std::string all = sandbox.standardErrorSoFar();
    const std::vector<std::string> lines = logLines(all);
    const std::vector<std::string> expected =
        privilegedRunLines(osprey, "install", "Library.CoreMediaIO", source, "/Library/CoreMediaIO/Plug-Ins/DAL/Cam.plugin");
    for (const std::string& line : expected) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line << "\n" << all;
    }
    const fs::path installed = sandbox.library() / "CoreMediaIO/Plug-Ins/DAL/Cam.plugin";
    EXPECT_EQ(testsupport::readFile(installed / "Contents/Linux/payload.so"), "code 3.1");
    expectInstalledModesAndOwners(installed);
}

TEST_F(HelperInSandbox, AnUnprivilegedCallerWithoutPolkitIsDeniedAndNothingIsWritten) {
    const std::string source = makePayloadBundle(resources, "Cam.plugin", "1.0");
    SandboxOptions options;
    options.asUnprivilegedUser = true;
    const SandboxResult result = sandbox.run({kestrel, kestrel, "install", "Library.CoreMediaIO", source}, options);
    // pkexec, not set-uid in the sandbox, cannot work: the low eight bits of errAuthorizationInternal.
    EXPECT_EQ(result.exitStatus, 152);
    EXPECT_NE(result.standardError.find("pkexec must be setuid root"), std::string::npos) << result.standardError;
    EXPECT_EQ(linesAfterStart(kestrel, result.standardError),
              (std::vector<std::string>{"KestrelInstallHelper (argc == ARGUMENT_COUNT)",
                                        "KestrelInstallHelper executing self-repair"}));
    EXPECT_TRUE(sandbox.waitUntilStandardErrorIsLeft()) << sandbox.standardErrorSoFar();
    EXPECT_TRUE(fs::is_empty(sandbox.library()));
}

// pkexec stand-ins for an unprivileged caller: what polkit answers decides.
namespace {
const char* const kDismissingPkexec = "exit 126\n";
// Authenticates at once, then does the launcher's part without privileges.
const char* const kGrantingPkexec =
    "printf '%s\\n' \"$1\" > \"$NOTES/launcher-asked\"\n"
    "printf 'granted\\n'\n"
    "IFS= read -r -d '' path\n"
    "args=()\n"
    "while IFS= read -r -d '' argument; do args+=(\"$argument\"); done\n"
    "( exec -a \"$path\" \"$path\" \"${args[@]}\" ) </dev/null >/dev/null &\n"
    "printf 'started\\n'\n";

SandboxOptions unprivilegedWithPkexec(const Sandbox& sandbox, const char* script) {
    const fs::path fake = sandbox.work() / "pkexec";
    testsupport::writeFile(fake, "#!/bin/bash\nNOTES='" + sandbox.work().string() + "'\n" + script);
    chmod(fake.c_str(), 0755);
    chmod(sandbox.work().c_str(), 0777);  // for the stand-in's notes
    SandboxOptions options;
    options.asUnprivilegedUser = true;
    options.replacements.emplace_back(fake.string(), "/usr/bin/pkexec");
    return options;
}
} // namespace

TEST_F(HelperInSandbox, ADismissedPasswordDialogEndsTheElevationRunWith154) {
    const SandboxResult result = sandbox.run({kestrel, kestrel, "install", "Library.QuickTime", "/p/Cam.component"},
                                             unprivilegedWithPkexec(sandbox, kDismissingPkexec));
    EXPECT_EQ(result.exitStatus, 154);  // the low eight bits of errAuthorizationCanceled
    EXPECT_EQ(linesAfterStart(kestrel, result.standardError),
              (std::vector<std::string>{"KestrelInstallHelper (argc == ARGUMENT_COUNT)",
                                        "KestrelInstallHelper executing self-repair"}));
}

TEST_F(HelperInSandbox, AGrantedRequestStartsThePrivilegedRunThroughTheLauncher) {
    const SandboxResult result = sandbox.run({kestrel, kestrel, "delete", "Library.QuickTime", "/p/Cam.component"},
                                             unprivilegedWithPkexec(sandbox, kGrantingPkexec));
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(sandbox.work() / "launcher-asked"),
              fs::path(kestrel).parent_path().string() + "/privileged-launcher\n") << result.standardError;
    ASSERT_TRUE(sandbox.waitForLines("KestrelInstallHelper exiting", 2)) << sandbox.standardErrorSoFar();
    const std::vector<std::string> lines = logLines(sandbox.standardErrorSoFar());
    for (const std::string& line : privilegedRunLines(kestrel, "delete", "Library.QuickTime", "/p/Cam.component",
                                                      "/Library/QuickTime/Cam.component")) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), "KestrelInstallHelper called AEWP"), lines.end());
}

TEST_F(HelperInSandbox, TheLauncherSaysWhichRuleRefusedNotWhatAFolderOnlyRootReadsHolds) {
    // In a folder only root may read: one helper that is there, one that is not.
    fs::create_directories(sandbox.home() / "private");
    fs::copy_file(kestrel, sandbox.home() / "private/KestrelInstallHelper");
    chmod((sandbox.home() / "private").c_str(), 0700);
    for (const std::string helper : {"/root/private/KestrelInstallHelper", "/root/private/gone/KestrelInstallHelper"}) {
        const SandboxResult result = sandbox.run({"/bin/sh", "-c", "printf '%s\\0' \"$0\" \"$0\" --self-repair install "
                                                  "Library.QuickTime /p/Cam.component | \"$1\"", helper,
                                                  fs::path(kestrel).replace_filename("privileged-launcher")});
        EXPECT_EQ(logLines(result.standardError), std::vector<std::string>{"privileged-launcher refused to start " +
                                                                            helper + ": it is not one of the product's own helpers"});
    }
}

TEST_F(HelperInSandbox, BadInputsActOnNothing) {
    const std::string source = makePayloadBundle(resources, "Cam.plugin", "1.0");
    fs::create_directories(sandbox.library() / "QuickTime");
    testsupport::writeFile(sandbox.library() / "QuickTime/keep", "k");
    const struct {
        const char* command;
        const char* location;
        std::string source;
    } cases[] = {
        {"install", "Library.Nowhere", source},
        {"delete", "library.quicktime", source},
        {"delete", "Library.QuickTime", "/"},
        {"delete", "Library.QuickTime", resources.string() + "/.."},
        {"install", "Library.QuickTime", resources.string() + "/."},
        {"Install", "Library.QuickTime", source},
        {"", "Library.QuickTime", source},
    };
    for (const auto& bad : cases) {
        const SandboxResult result = privilegedRun(bad.command, bad.location, bad.source, {}, osprey);
        EXPECT_EQ(result.exitStatus, 0);
        const std::vector<std::string> lines = logLines(result.standardError);
        EXPECT_EQ(lines.back(), "OspreyInstallHelper exiting");
        const bool absentDestination = std::string(bad.command) == "install" || std::string(bad.command) == "delete";
        if (absentDestination) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), "OspreyInstallHelper destination:(null) "), lines.end())
                << bad.location << " " << bad.source;
        }
    }
    EXPECT_EQ(testsupport::readFile(sandbox.library() / "QuickTime/keep"), "k");
    EXPECT_EQ(std::distance(fs::recursive_directory_iterator(sandbox.library()), fs::recursive_directory_iterator()), 2);
    EXPECT_TRUE(fs::exists(resources / "Cam.plugin"));
}

TEST_F(HelperInSandbox, OptionLikeAndUnusualNamesAreHandledAndLoggedVerbatim) {
    const std::string dashRf = makePayloadBundle(resources, "-rf", "1.0");
    SandboxOptions inWork;
    inWork.workingDirectory = resources.string();
    EXPECT_EQ(privilegedRun("install", "Library.QuickTime", dashRf).exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(sandbox.library() / "QuickTime/-rf/Contents/Linux/payload.so"), "code 1.0");
    expectInstalledModesAndOwners(sandbox.library() / "QuickTime/-rf");
    EXPECT_EQ(privilegedRun("delete", "Library.QuickTime", "-rf", inWork).exitStatus, 0);
    EXPECT_FALSE(fs::exists(sandbox.library() / "QuickTime/-rf"));
    EXPECT_TRUE(fs::exists(dashRf));

    const std::string odd = "My 100% \"Cam\" 'K\xC3\xA4mera' %@ %s.plugin";
    const std::string source = makePayloadBundle(resources, odd, "1.0");
    const SandboxResult result = privilegedRun("install", "Library.Compositions", source);
    EXPECT_EQ(testsupport::readFile(sandbox.library() / "Compositions" / odd / "Contents/Linux/payload.so"), "code 1.0");
    const std::vector<std::string> lines = logLines(result.standardError);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "KestrelInstallHelper payload:" + source + " "), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "KestrelInstallHelper destination:/Library/Compositions/" + odd + " "),
              lines.end());
}

// A mode or owner step that cannot start or fails: the copy never takes the
// destination's name, and its room goes.
TEST_F(HelperInSandbox, AModeOrOwnerStepThatCannotStartOrFailsInstallsNothing) {
    const std::string source = makePayloadBundle(resources, "Cam.component", "1.0");
    const fs::path broken = sandbox.work() / "not-a-program";
    testsupport::writeFile(broken, "");
    const fs::path failing = sandbox.work() / "failing-step";
    testsupport::writeFile(failing, "#!/bin/sh\nexit 1\n");
    fs::permissions(failing, fs::perms(0755));
    const struct {
        fs::path replacement;
        const char* step;
        const char* logged;
    } cases[] = {
        {broken, "/bin/chown", "KestrelInstallHelper could not start /bin/chown: launch path not accessible"},
        {failing, "/bin/chmod", nullptr},
        {failing, "/bin/chown", nullptr},
    };
    for (const auto& each : cases) {
        SandboxOptions options;
        options.replacements.emplace_back(each.replacement.string(), fs::canonical(each.step).string());
        const SandboxResult result = privilegedRun("install", "Library.QuickTime", source, options);
        EXPECT_EQ(result.exitStatus, 0);
        const std::vector<std::string> lines = logLines(result.standardError);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[lines.size() - 2], std::string("KestrelInstallHelper ") + each.step +
                                               " failed; nothing was installed at /Library/QuickTime/Cam.component");
        EXPECT_EQ(lines.back(), "KestrelInstallHelper exiting");
        if (each.logged) {
            EXPECT_EQ(lines[lines.size() - 3], each.logged);
        }
        EXPECT_TRUE(fs::is_empty(sandbox.library() / "QuickTime")) << each.step;
    }
}

// A file of the installed copy that cannot be deleted: the copy leaves its
// name whole first, so it is gone, not half there, and the next install
// discards what is left.
TEST_F(HelperInSandbox, ARemoveThatCannotDeleteAFileLeavesThePayloadGoneNotHalfThere) {
    const fs::path installed = sandbox.library() / "QuickTime/Cam.component";
    testsupport::writeFile(installed / "Contents/Info.plist", "plist");
    testsupport::writeFile(installed / "Contents/Linux/payload.so", "code");
    const fs::path stuck = installed / "Contents/Linux/payload.so";
    if (std::system(("chattr +i '" + stuck.string() + "' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "this file system keeps no immutable flag";
    }
    const std::string source = makePayloadBundle(resources, "Cam.component", "2.0");
    const SandboxResult removed = privilegedRun("delete", "Library.QuickTime", source);
    EXPECT_EQ(removed.exitStatus, 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(installed)));
    const std::vector<std::string> lines = logLines(removed.standardError);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "KestrelInstallHelper /bin/rm failed; /Library/QuickTime/Cam.component is no "
                                       "longer installed, and the next run discards what is left of it");
    EXPECT_EQ(lines[lines.size() - 2], "KestrelInstallHelper done with delete: ?");

    std::string room;
    for (const fs::directory_entry& entry : fs::directory_iterator(sandbox.library() / "QuickTime")) {
        room = entry.path().string();
    }
    ASSERT_FALSE(room.empty());
    ASSERT_EQ(std::system(("chattr -i '" + room + "/Cam.component/Contents/Linux/payload.so'").c_str()), 0);
    EXPECT_EQ(privilegedRun("install", "Library.QuickTime", source).exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(installed / "Contents/Linux/payload.so"), "code 2.0");
    EXPECT_FALSE(fs::exists(room));
}

TEST_F(HelperInSandbox, NeverWritesThroughASymbolicLinkAtTheDestination) {
    const fs::path elsewhere = sandbox.work() / "elsewhere";
    testsupport::writeFile(elsewhere / "precious", "p");
    chmod(elsewhere.c_str(), 0700);
    fs::create_directories(sandbox.library() / "QuickTime");
    fs::create_symlink(elsewhere, sandbox.library() / "QuickTime/Cam.component");
    const std::string source = makePayloadBundle(resources, "Cam.component", "1.0");

    const SandboxResult install = privilegedRun("install", "Library.QuickTime", source);
    const std::vector<std::string> lines = logLines(install.standardError);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "KestrelInstallHelper destination is a symbolic link, left as it is: "
                        "/Library/QuickTime/Cam.component"),
              lines.end());
    EXPECT_FALSE(fs::exists(elsewhere / "Contents"));
    struct stat status{};
    ASSERT_EQ(stat(elsewhere.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);

    EXPECT_EQ(privilegedRun("delete", "Library.QuickTime", source).exitStatus, 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(sandbox.library() / "QuickTime/Cam.component")));
    EXPECT_EQ(testsupport::readFile(elsewhere / "precious"), "p");
}

TEST(HelperProducts, CarryTheirInformationListAndDifferOnlyInName) {
    for (const std::string& tool : {kKestrel, kOsprey}) {
        testsupport::TempDir dir;
        const std::string out = dir / "Info.plist";
        ASSERT_EQ(std::system(("objcopy -O binary --only-section=.info_plist '" + tool + "' '" + out + "'").c_str()), 0);
        const std::string plist = testsupport::readFile(out);
        const std::string name = fs::path(tool).filename();
        EXPECT_NE(plist.find("<key>CFBundleName</key>\n\t<string>" + name + "</string>"), std::string::npos) << plist;
        EXPECT_NE(plist.find("<key>CFBundleIdentifier</key>\n\t<string>com.fernhill." + name + "</string>"),
                  std::string::npos);
        EXPECT_NE(plist.find("<key>CFBundleVersion</key>\n\t<string>1.0</string>"), std::string::npos);
        EXPECT_NE(plist.find("<key>CFBundleInfoDictionaryVersion</key>\n\t<string>6.0</string>"), std::string::npos);
        EXPECT_NE(plist.find("<key>CFBundleDevelopmentRegion</key>\n\t<string>English</string>"), std::string::npos);
    }
}

namespace {

// 2,000 files of 15 kB in 40 folders.
void makeLargePayload(const fs::path& bundle) {
    testsupport::writeFile(bundle / "Contents/Info.plist", "<plist><dict/></plist>\n");
    for (int file = 0; file < 2000; ++file) {
        std::string contents(15000, static_cast<char>('a' + file % 26));
        contents.replace(0, 12, std::to_string(1000000000000 + file));
        testsupport::writeFile(bundle / "Contents/Resources" / std::to_string(file / 50) / (std::to_string(file) + ".dat"),
                               contents);
    }
}

// Privileged runs for one location that overlap, on a payload large enough
// to be copied for a while: {name, runs as "SECONDS:COMMAND", each started
// that long after the first}.
using Overlap = std::pair<std::string, std::string>;
class OverlappingRuns : public HelperInSandbox, public ::testing::WithParamInterface<Overlap> {};

} // namespace

TEST_P(OverlappingRuns, TakeTurnsAndLeaveACompleteCopyOrNone) {
    const std::string& runs = GetParam().second;
    const fs::path source = resources / "Big.component";
    makeLargePayload(source);
    // Every run ends well; what is installed is the whole source (or nothing,
    // where a run removes it).
    const SandboxResult result = sandbox.run(
        {"/bin/bash", "-c",
         "for run in $2; do (sleep ${run%:*}; exec \"$0\" \"$0\" --self-repair ${run#*:} Library.QuickTime \"$1\") & done; "
         "for pid in $(jobs -p); do wait $pid || exit 1; done; installed=/Library/QuickTime/Big.component; "
         "[[ $2 == *delete* && ! -e $installed ]] || diff -r \"$1\" $installed >&2 || exit 2",
         kestrel, source.string(), runs});
    EXPECT_EQ(result.exitStatus, 0) << result.standardError;
    // No room is left, of any run.
    for (const fs::directory_entry& entry : fs::directory_iterator(sandbox.library() / "QuickTime")) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".Big.component.installing")) << entry.path();
    }
    const std::vector<std::string> lines = logLines(result.standardError);
    const auto count = [&lines](const std::string& line) { return std::count(lines.begin(), lines.end(), line); };
    const long started = std::count(runs.begin(), runs.end(), ':');
    EXPECT_EQ(count("KestrelInstallHelper exiting"), started) << result.standardError;
    // The first takes the location at once; each of the others waits for its turn.
    EXPECT_EQ(count("KestrelInstallHelper waiting for another run in Library.QuickTime to end"), started - 1)
        << result.standardError;
}

INSTANTIATE_TEST_SUITE_P(Table, OverlappingRuns,
                         ::testing::Values(Overlap{"TwoInstalls", "0:install 0.3:install"},
                                           Overlap{"FourInstalls", "0:install 0.2:install 0.5:install 0.9:install"},
                                           Overlap{"InstallRemoveInstall", "0:install 0.4:delete 0.8:install"}),
                         [](const auto& info) { return info.param.first; });
