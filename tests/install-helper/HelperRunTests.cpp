// The helper's flow run in this process, with a scripted authority.

#include "HelperSteps.h"
#include "HelperTool.h"
#include "StagedCopy.h"

#include "Foundation/FileManager.h"
#include "Security/Authorization.h"
#include "support/LogLines.h"
#include "support/StderrCapture.h"
#include "support/TempDir.h"

#include <grp.h>
#include <gtest/gtest.h>

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
