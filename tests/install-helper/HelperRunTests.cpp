// The helper's flow run in this process, with a scripted authority.

#include "HelperSteps.h"
#include "HelperTool.h"
#include "LaunchPolicy.h"
#include "PrivilegedRunChecks.h"
#include "StagedCopy.h"

#include "Foundation/FileManager.h"
#include "Security/Authorization.h"
#include "support/LogLines.h"
#include "support/StderrCapture.h"
#include "support/TempDir.h"
#include "support/WhyFailed.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <functional>

using namespace platform;
using testsupport::logLines;

namespace {

const HelperIdentity kIdentity{"TestInstallHelper", "Nov 28 2020 14:32:50"};

struct Start {
    std::string path;
    std::vector<std::string> arguments;
};

// Answers the rights request as told and records what it is asked to start.
class ScriptedAuthority final : public Authority {
public:
    ScriptedAuthority(OSStatus answer, std::vector<Start>& starts) : answer_(answer), starts_(starts) {}
    OSStatus obtainAdministratorRight(bool interactionAllowed) override {
        return interactionAllowed ? answer_ : errAuthorizationInteractionNotAllowed;
    }
    OSStatus startPrivileged(const std::string& path, const std::vector<std::string>& arguments) override {
        starts_.push_back({path, arguments});
        return errAuthorizationSuccess;
    }

private:
    OSStatus answer_;
    std::vector<Start>& starts_;
};

struct HelperRun {
    int status;
    std::vector<std::string> lines;
};

HelperRun runHelper(std::vector<const char*> argv) {
    testsupport::StderrCapture capture;
    const int status = runInstallHelper(kIdentity, static_cast<int>(argv.size()), argv.data());
    return {status, logLines(capture.finish())};
}

class Elevation : public ::testing::Test {
protected:
    std::vector<Start> starts;
    std::unique_ptr<AuthorityOverride> authority(OSStatus answer) {
        return std::make_unique<AuthorityOverride>(
            [this, answer] { return std::make_unique<ScriptedAuthority>(answer, starts); });
    }
};

std::vector<std::string> texts(const Ref<Array>& arguments) {
    std::vector<std::string> list;
    for (const Ref<Object>& argument : arguments->objects()) list.push_back(objectAs<String>(argument.get())->text());
    return list;
}

} // namespace

TEST_F(Elevation, GrantedStartsTheToolOfEntryOneWithSelfRepairInFront) {
    auto scripted = authority(errAuthorizationSuccess);
    const HelperRun run = runHelper({"/started/as", "/pane/Contents/Helpers/PrivetTool", "install", "Library.CoreMediaIO",
                               "/pane/Contents/Resources/Cam.plugin"});
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].path, "/pane/Contents/Helpers/PrivetTool");
    EXPECT_EQ(starts[0].arguments,
              (std::vector<std::string>{"/pane/Contents/Helpers/PrivetTool", "--self-repair", "install",
                                        "Library.CoreMediaIO", "/pane/Contents/Resources/Cam.plugin"}));
    EXPECT_EQ(run.lines, (std::vector<std::string>{"TestInstallHelper started BUILD Nov 28 2020 14:32:50",
                                                   "TestInstallHelper (argc == ARGUMENT_COUNT)",
                                                   "TestInstallHelper executing self-repair",
                                                   "TestInstallHelper called AEWP", "TestInstallHelper exiting"}));
}

TEST_F(Elevation, AnyCommandWordIsCarriedUnchanged) {
    auto scripted = authority(errAuthorizationSuccess);
    EXPECT_EQ(runHelper({"/t", "/t", "Frobnicate", "Library.Nowhere", ""}).status, 0);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].arguments, (std::vector<std::string>{"/t", "--self-repair", "Frobnicate", "Library.Nowhere", ""}));
}

TEST_F(Elevation, CancelledEndsWithTheStatusAndNoExitingLine) {
    auto scripted = authority(errAuthorizationCanceled);
    const HelperRun run = runHelper({"/t", "/t", "install", "Library.QuickTime", "/p/Cam.component"});
    EXPECT_EQ(run.status, errAuthorizationCanceled);
    EXPECT_EQ(run.status & 0xff, 154);
    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(run.lines, (std::vector<std::string>{"TestInstallHelper started BUILD Nov 28 2020 14:32:50",
                                                   "TestInstallHelper (argc == ARGUMENT_COUNT)",
                                                   "TestInstallHelper executing self-repair"}));
}

TEST_F(Elevation, DeniedEndsWithTheStatus) {
    auto scripted = authority(errAuthorizationDenied);
    const HelperRun run = runHelper({"/t", "/t", "delete", "Library.QuickTime", "/p/Cam.component"});
    EXPECT_EQ(run.status & 0xff, 155);
    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(run.lines.size(), 3u);
}

TEST(ArgumentCounts, FewerThanFiveOnlyStartAndExit) {
    for (std::vector<const char*> argv : {std::vector<const char*>{"/t"}, {"/t", "/t", "install", "Library.QuickTime"}}) {
        const HelperRun run = runHelper(argv);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.lines, (std::vector<std::string>{"TestInstallHelper started BUILD Nov 28 2020 14:32:50",
                                                       "TestInstallHelper exiting"}));
    }
}

TEST(ArgumentCounts, EntriesBeyondTheSixthAreIgnoredAndAbsentOnesLoggedAsNull) {
    LibraryFoldersOverride folders({std::nullopt, "/sandbox/Library", std::nullopt});
    const HelperRun run = runHelper({"/t", "\xFF\xFE", "anything", "nothing", "Library.QuickTime", nullptr, "extra", "more"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.lines, (std::vector<std::string>{
                             "TestInstallHelper started BUILD Nov 28 2020 14:32:50",
                             "TestInstallHelper (argc > ARGUMENT_COUNT)", "TestInstallHelper argv0:/t ",
                             "TestInstallHelper argv1:(null) ", "TestInstallHelper argv2:anything ",
                             "TestInstallHelper command:nothing ", "TestInstallHelper location:Library.QuickTime ",
                             "TestInstallHelper payload:(NULL) ",
                             "TestInstallHelper destination:/sandbox/Library/QuickTime/(NULL) ",
                             "TestInstallHelper exiting"}));
}

TEST(StepCommands, ANewPayloadIsAssembledInARoomOnlyRootCanEnterThenMovedIntoPlace) {
    Ref<String> source = make<String>("/p/Contents/Resources/-Cam.plugin");
    Ref<String> destination = make<String>("/tmp/-Cam.plugin");
    const std::vector<StepCommand> steps = installCommands("T", source.get(), destination.get());
    ASSERT_EQ(steps.size(), 7u);  // /tmp exists: no folder to create
    // A room of this run's own: ".NAME.installing." and a mark no other run has.
    const std::string room = texts(steps[0].arguments).back();
    EXPECT_TRUE(room.starts_with("/tmp/.-Cam.plugin.installing.")) << room;
    EXPECT_TRUE(isRoomFor(destination.get(), room.substr(5))) << room;
    EXPECT_NE(stagingPathFor(destination.get())->text(), room);
    const std::string staged = room + "/-Cam.plugin";
    const std::vector<std::vector<std::string>> expected{
        {"/bin/mkdir", "-m", "700", "--", room},
        {"/bin/cp", "-R", "-P", "-T", "--preserve=mode,timestamps", "--", "/p/Contents/Resources/-Cam.plugin", staged},
        {"seal", "--", staged},
        {"/bin/chmod", "-R", "755", "--", staged},
        {"/bin/chown", "-R", "root:" + administratorsGroup(), "--", staged},
        {"move into place", "--", staged, "/tmp/-Cam.plugin"},
        {"/bin/rm", "-Rdf", "--", room}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        std::vector<std::string> step = texts(steps[i].arguments);
        step.insert(step.begin(), steps[i].program->text());
        EXPECT_EQ(step, expected[i]);
        // Only the copy, permission and ownership commands wait for the poll.
        EXPECT_EQ(steps[i].polled, i == 1 || i == 3 || i == 4) << i;
        EXPECT_EQ(bool(steps[i].inProcess), i == 2 || i == 5) << i;
        // A failed room, copy, seal, mode, owner or move step takes the room away again.
        const bool discards = i <= 5;
        EXPECT_EQ(steps[i].discardOnFailure ? steps[i].discardOnFailure->text() : "", discards ? room : "") << i;
    }
}

TEST(StepCommands, AnInstalledPayloadIsCopiedIntoTheRoomAndTheSourceMergedOverIt) {
    testsupport::TempDir dir;
    std::filesystem::create_directory(dir.path() / "Cam.plugin");
    // Rooms left by runs cut short, of this version and the one before;
    // another payload's room and a near miss stay.
    for (const char* left : {".Cam.plugin.installing", ".Cam.plugin.installing.a1B2c3D4", ".Cam.plugin.installing.a1B2c3D",
                             ".Cam.plugin.installing.a1B2c3D!", ".Cam.plug.installing.a1B2c3D4"}) {
        testsupport::writeFile(dir.path() / left / "left", "from a run that was cut short");
    }
    Ref<String> destination = make<String>(dir / "Cam.plugin");
    const std::vector<StepCommand> steps = installCommands("T", make<String>("/p/Cam.plugin").get(), destination.get());
    ASSERT_EQ(steps.size(), 10u);
    EXPECT_EQ(texts(steps[0].arguments), (std::vector<std::string>{"-Rdf", "--", dir / ".Cam.plugin.installing"}));
    EXPECT_EQ(texts(steps[1].arguments),
              (std::vector<std::string>{"-Rdf", "--", dir / ".Cam.plugin.installing.a1B2c3D4"}));
    const std::string room = texts(steps[2].arguments).back();
    const std::string staged = room + "/Cam.plugin";
    EXPECT_EQ(texts(steps[3].arguments),
              (std::vector<std::string>{"-R", "-P", "-T", "--preserve=mode,timestamps", "--", dir / "Cam.plugin", staged}));
    EXPECT_FALSE(steps[3].polled);
    EXPECT_EQ(texts(steps[4].arguments).back(), staged);
    EXPECT_TRUE(steps[4].polled);
    EXPECT_EQ(texts(steps[8].arguments), (std::vector<std::string>{"--", staged, dir / "Cam.plugin"}));
}

TEST(StepCommands, MissingParentFoldersAreCreatedFirst) {
    Ref<String> destination = make<String>("/tmp/no-such-folder-here/DAL/Cam.plugin");
    const std::vector<StepCommand> steps = installCommands("T", make<String>("/p/Cam.plugin").get(), destination.get());
    ASSERT_EQ(steps.size(), 8u);
    EXPECT_EQ(steps[0].program->text(), "/bin/mkdir");
    EXPECT_EQ(texts(steps[0].arguments), (std::vector<std::string>{"-p", "--", "/tmp/no-such-folder-here/DAL"}));
    EXPECT_FALSE(steps[0].polled);
}

TEST(StepCommands, RemoveMovesTheCopyAsideWholeThenDeletesItRecursivelyAndVerbosely) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / ".-rf.installing.a1B2c3D4/left", "from a run that was cut short");
    testsupport::writeFile(dir.path() / ".-rf.removing.e5F6g7H8/-rf/left", "from a removal that failed");
    const Ref<String> destination = make<String>(dir / "-rf");
    const std::vector<StepCommand> steps = removeCommands("T", destination.get());
    ASSERT_EQ(steps.size(), 7u);
    EXPECT_EQ(texts(steps[0].arguments), (std::vector<std::string>{"-Rdf", "--", dir / ".-rf.installing.a1B2c3D4"}));
    EXPECT_EQ(texts(steps[1].arguments), (std::vector<std::string>{"-Rdf", "--", dir / ".-rf.removing.e5F6g7H8"}));
    const std::string room = texts(steps[2].arguments).back();
    EXPECT_TRUE(room.starts_with(dir / ".-rf.removing.")) << room;
    EXPECT_TRUE(isRoomFor(destination.get(), std::filesystem::path(room).filename()));
    const std::vector<std::vector<std::string>> expected{{"/bin/mkdir", "-m", "700", "--", room},
                                                         {"move aside", "--", dir / "-rf", room + "/-rf"},
                                                         {"/bin/rm", "-Rdvf", "--", room + "/-rf"},
                                                         {"/bin/rm", "-Rdf", "--", room},
                                                         {"sync", "--", room}};
    for (std::size_t i = 2; i < steps.size(); ++i) {
        std::vector<std::string> step = texts(steps[i].arguments);
        step.insert(step.begin(), steps[i].program->text());
        EXPECT_EQ(step, expected[i - 2]);
        EXPECT_EQ(steps[i].polled, i == 4) << i;
        EXPECT_EQ(bool(steps[i].inProcess), i == 3 || i == 6) << i;
        // Only until the copy has left its name does a failure take the room away.
        EXPECT_EQ(steps[i].discardOnFailure ? steps[i].discardOnFailure->text() : "", i <= 3 ? room : "") << i;
    }
}

// Only a copy holding every entry of the source, each file at its size,
// may take the destination's name; entries of the copy it was merged over
// may stay.
TEST(StepCommands, OnlyAWholeCopyIsMovedIntoPlace) {
    testsupport::TempDir dir;
    const std::filesystem::path source = dir.path() / "source";
    testsupport::writeFile(source / "Contents/Info.plist", "plist");
    testsupport::writeFile(source / "Contents/Linux/payload.so", std::string(5000, 'c'));
    const struct {
        const char* name;
        std::function<void(const std::filesystem::path&)> damage;
        const char* lack;  // in the reason; empty: whole
    } cases[] = {
        {"merged", [](const std::filesystem::path& copy) { testsupport::writeFile(copy / "Contents/kept", "k"); }, ""},
        {"missing", [](const std::filesystem::path& copy) { std::filesystem::remove(copy / "Contents/Info.plist"); },
         "lacks"},
        {"short", [](const std::filesystem::path& copy) { std::filesystem::resize_file(copy / "Contents/Linux/payload.so", 4096); },
         "holds 4096 of 5000 bytes"},
        {"kind", [](const std::filesystem::path& copy) {
             std::filesystem::remove(copy / "Contents/Info.plist");
             std::filesystem::create_directory(copy / "Contents/Info.plist");
         }, "is a folder, not a file"},
    };
    for (const auto& each : cases) {
        const std::filesystem::path copy = dir.path() / each.name;
        std::filesystem::copy(source, copy, std::filesystem::copy_options::recursive);
        each.damage(copy);
        const platform::ErrorOr<void> whole = checkCopyIsWhole(source.string(), copy.string());
        EXPECT_EQ(whole.isError(), *each.lack != '\0') << each.name;
        if (whole.isError()) {
            EXPECT_NE(whole.error().describe().find(each.lack), std::string::npos) << whole.error().describe();
        }
        EXPECT_FALSE(syncFileSystemOf(copy.string()).isError()) << each.name;
    }
}

TEST(StepCommands, AdministratorsGroupIsTheFirstThatExists) {
    const std::string group = administratorsGroup();
    if (getgrnam("admin")) EXPECT_EQ(group, "admin");
    else if (getgrnam("sudo")) EXPECT_EQ(group, "sudo");
    else if (getgrnam("wheel")) EXPECT_EQ(group, "wheel");
    else EXPECT_EQ(group, "0");
}

// The rules that keep a caller from turning the privileged run against the
// machine, judged without root.
TEST(SecurityJudgements, OnlyAPlainPayloadOfTheHelpersOwnBundleIsASource) {
    testsupport::TempDir dir;
    const std::filesystem::path bundle = dir.path() / "Kestrel.prefPane";
    const std::string resources = (bundle / "Contents/Resources").string();
    testsupport::writeFile(resources + "/Cam.plugin/Contents/Info.plist", "plist");
    testsupport::writeFile(resources + "/Held.plugin/Contents/Info.plist", "plist");
    ASSERT_EQ(mkfifo((resources + "/Held.plugin/Contents/pipe").c_str(), 0600), 0);
    std::filesystem::create_symlink(resources + "/Cam.plugin", resources + "/Link.plugin");
    std::filesystem::create_symlink("/etc", resources + "/Out");
    // Alike whether or not the path exists: the answer tells nothing of
    // folders the caller may not read.
    const std::string outside = "it lies outside the helper's bundle " + bundle.string();
    const struct {
        std::string source;
        std::string refusal;  // empty: accepted
    } cases[] = {
        {"Contents/Resources/Cam.plugin", "it is not an absolute path"},
        {resources + "/../Resources/Cam.plugin", "it has a \".\" or \"..\" component"},
        {"/", "it names no entry of its own"},
        {"/etc/passwd", outside},
        {"/no-such-folder/Cam.plugin", outside},
        {resources + "/Out/passwd", outside},
        {resources + "/Missing/Cam.plugin", "it does not exist"},
        {resources + "/Link.plugin", "it is a symbolic link"},
        {resources + "/Held.plugin",
         "it holds a device node, FIFO or socket, or a folder that cannot be read: " + resources +
             "/Held.plugin/Contents/pipe"},
        {resources + "/Cam.plugin", ""},
    };
    for (const auto& each : cases) {
        const platform::ErrorOr<std::string> verdict = judgeSource(each.source, bundle.string());
        EXPECT_EQ(verdict.isError() ? verdict.error().describe() : "", each.refusal) << each.source;
        EXPECT_EQ(verdict.isError() || verdict.value().empty(), !each.refusal.empty()) << each.source;
    }
}

TEST(SecurityJudgements, ASealedCopyHasNoSetIdOrSharedWriteBitsAndNoSpecialFile) {
    testsupport::TempDir dir;
    const std::filesystem::path copy = dir.path() / "Cam.plugin";
    const std::string payload = (copy / "Contents/Linux/payload.so").string();
    testsupport::writeFile(payload, "so");
    ASSERT_EQ(chmod(payload.c_str(), 06777), 0);
    ASSERT_EQ(chmod((copy / "Contents").c_str(), 02777), 0);
    EXPECT_EQ(testsupport::whyFailed(sealStagedCopy(copy.string())), "");
    const auto modeOf = [](const std::filesystem::path& path) {
        struct stat status{};
        return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
    };
    EXPECT_EQ(modeOf(payload), 0755u);
    EXPECT_EQ(modeOf(copy / "Contents"), 0755u);

    const std::string pipe = (copy / "Contents/Linux/pipe").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(testsupport::whyFailed(sealStagedCopy(copy.string())),
              "the copy holds a device node, FIFO or socket: " + pipe);
    std::filesystem::create_symlink(copy, dir.path() / "Link.plugin");
    EXPECT_EQ(testsupport::whyFailed(sealStagedCopy(dir / "Link.plugin")), "the copy is neither a plain file nor a folder");
    EXPECT_EQ(testsupport::whyFailed(sealStagedCopy(dir / "Gone.plugin")), "the copy is missing");
}

TEST(SecurityJudgements, OnlyAProductHelpersPrivilegedRunIsLaunched) {
    testsupport::TempDir dir;
    const std::filesystem::path product = dir.path() / "product";
    const std::string helpers = (product / "Kestrel.prefPane/Contents/Helpers").string();
    const std::string helper = helpers + "/KestrelInstallHelper";
    const std::string elsewhere = dir / "elsewhere/Kestrel.prefPane/Contents/Helpers/KestrelInstallHelper";
    for (const std::string& program : {helper, elsewhere, helpers + "/OspreyInstallHelper"}) {
        testsupport::writeFile(program, "#!/bin/sh\n");
        std::filesystem::permissions(program, std::filesystem::perms(program == elsewhere || program == helper ? 0755 : 0644));
    }
    std::filesystem::create_symlink(dir / "elsewhere/Kestrel.prefPane", product / "Link.prefPane");
    // Others may change the product's folder; a file system mounted nosuid
    // is refused before that.
    ASSERT_EQ(chmod(product.c_str(), 0775), 0);
    struct statvfs mount{};
    ASSERT_EQ(statvfs(product.c_str(), &mount), 0);
    const std::string changeable = (mount.f_flag & ST_NOSUID) ? "it lies on a file system mounted nosuid"
                                                              : "it, or a folder above it, can be changed by others than root";

    const std::vector<std::string> run{helper, "--self-repair", "install", "Library.QuickTime", "/p/Cam.plugin"};
    const auto with = [&](std::size_t index, std::string value) {
        std::vector<std::string> arguments = run;
        arguments[index] = std::move(value);
        return arguments;
    };
    const struct {
        std::string path;
        std::vector<std::string> arguments;
        std::string refusal;
    } cases[] = {
        {"/bin/true", {"/bin/true"}, "it is not an install helper"},
        {helper, {run.begin(), run.end() - 1}, "it does not have the privileged run's five arguments"},
        {helper, with(0, elsewhere), "its first argument is not the program's own path"},
        {helper, with(1, "--repair"), "its second argument is not \"--self-repair\""},
        {helper, with(2, "erase"), "its command is neither \"install\" nor \"delete\""},
        {helper, with(3, "Library.Nowhere"), "its location name is unknown"},
        {helper, with(3, "../Library.QuickTime"), "its location name is unknown"},
        {helper, with(4, "p/Cam.plugin"), "its source path is not absolute"},
        {elsewhere, with(0, elsewhere), "it is not one of the product's own helpers"},
        {(product / "Link.prefPane/Contents/Helpers/KestrelInstallHelper").string(),
         with(0, (product / "Link.prefPane/Contents/Helpers/KestrelInstallHelper").string()),
         "it is not one of the product's own helpers"},
        {helpers + "/OspreyInstallHelper", with(0, helpers + "/OspreyInstallHelper"), "it is not an executable file"},
        {helper, run, changeable},
    };
    for (const auto& each : cases) {
        const platform::ErrorOr<std::string> verdict = judgeLaunchRequest({each.path, each.arguments}, product.string());
        EXPECT_EQ(verdict.isError() ? verdict.error().describe() : "", each.refusal)
            << each.path << " " << each.arguments.size();
        EXPECT_TRUE(verdict.isError()) << each.path;
    }
}
