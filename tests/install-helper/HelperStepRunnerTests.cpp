// The helper's flow in this process with a step runner that records the
// steps instead of starting them, and the life of its authorization.

#include "HelperSteps.h"
#include "HelperTool.h"

#include "Foundation/Array.h"
#include "Foundation/FileManager.h"
#include "Security/Authorization.h"
#include "support/StderrCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;
namespace fs = std::filesystem;

namespace {

const HelperIdentity kIdentity{"TestInstallHelper", "Nov 28 2020 14:32:50"};

struct Recorded {
    std::string program;
    std::vector<std::string> arguments;
};

class RecordedSteps : public ::testing::Test {
protected:
    RecordedSteps() : folders_({std::nullopt, (root / "Library"), (root / "System/Library")}) {
        fs::create_directories(root.path() / "Library");
        testsupport::writeFile(root.path() / "Pane/Cam.component/Contents/Info.plist", "<plist/>");
    }

    std::vector<Recorded> run(const char* command, const char* location, const std::string& source) {
        std::vector<Recorded> steps;
        const StepRunner record = [&steps](const StepCommand& step) {
            Recorded recorded{step.program->text(), {}};
            for (const Ref<Object>& argument : step.arguments->objects()) {
                recorded.arguments.push_back(objectAs<String>(argument.get())->text());
            }
            steps.push_back(std::move(recorded));
            return true;
        };
        const char* argv[] = {"/t", "/t", "--self-repair", command, location, source.c_str(), nullptr};
        testsupport::StderrCapture quiet;
        const HelperEnvironment environment{record, root / "Pane", [](const std::string&) { return platform::ErrorOr<void>(); }};
        EXPECT_EQ(runInstallHelper(kIdentity, 6, argv, environment), 0);
        return steps;
    }

    testsupport::TempDir root;
    const std::string source = root / "Pane/Cam.component";

private:
    LibraryFoldersOverride folders_;
};

std::vector<std::string> programs(const std::vector<Recorded>& steps) {
    std::vector<std::string> names;
    for (const Recorded& step : steps) names.push_back(step.program);
    return names;
}

} // namespace

TEST_F(RecordedSteps, InstallRecordsEveryStepBesideTheDestinationAndRunsNone) {
    const std::vector<Recorded> steps = run("install", "Library.CoreMediaIO", source);
    const std::string destination = root / "Library/CoreMediaIO/Plug-Ins/DAL/Cam.component";
    EXPECT_EQ(programs(steps), (std::vector<std::string>{"/bin/mkdir", "/bin/mkdir", "/bin/cp", "seal", "/bin/chmod",
                                                         "/bin/chown", "move into place", "/bin/rm"}));
    ASSERT_EQ(steps.size(), 8u);
    EXPECT_EQ(steps[0].arguments.back(), root / "Library/CoreMediaIO/Plug-Ins/DAL");
    const std::string room = steps[1].arguments.back();
    EXPECT_TRUE(room.starts_with(root / "Library/CoreMediaIO/Plug-Ins/DAL/.Cam.component.installing.")) << room;
    const std::string staged = room + "/Cam.component";
    EXPECT_EQ(std::vector<std::string>(steps[2].arguments.end() - 3, steps[2].arguments.end()),
              (std::vector<std::string>{"--", source, staged}));
    for (const Recorded& step : {steps[3], steps[4], steps[5]}) EXPECT_EQ(step.arguments.back(), staged);
    EXPECT_EQ(steps[6].arguments, (std::vector<std::string>{"--", staged, destination}));
    EXPECT_EQ(steps[7].arguments.back(), room);
    EXPECT_TRUE(fs::is_empty(root.path() / "Library"));
}

TEST_F(RecordedSteps, DeleteRecordsTheRemovalOnlyOfAnExistingDestination) {
    EXPECT_TRUE(run("delete", "System.Library.KEXT", source).empty());

    const std::string destination = root / "System/Library/Extensions/Cam.component";
    testsupport::writeFile(destination, "installed");
    const std::vector<Recorded> steps = run("delete", "System.Library.KEXT", source);
    // Moved aside whole into a room, then removed from there.
    ASSERT_EQ(steps.size(), 5u);
    const std::string aside = steps[1].arguments.back();
    EXPECT_TRUE(aside.starts_with(root / "System/Library/Extensions/.Cam.component.removing.")) << aside;
    EXPECT_EQ(steps[1].arguments, (std::vector<std::string>{"--", destination, aside}));
    EXPECT_EQ(steps[2].program, "/bin/rm");
    EXPECT_EQ(steps[2].arguments, (std::vector<std::string>{"-Rdvf", "--", aside}));
    EXPECT_TRUE(fs::exists(destination));
}

TEST_F(RecordedSteps, NothingIsRecordedWithoutADestination) {
    EXPECT_TRUE(run("install", "Library.Nowhere", source).empty());
    EXPECT_TRUE(run("install", "Library.QuickTime", source + "/..").empty());
    EXPECT_TRUE(run("install", "Library.QuickTime", source + "\xFF").empty());
}

namespace {

// Counts its instances; grants the right as told.
class CountedAuthority final : public Authority {
public:
    CountedAuthority(OSStatus answer, int& alive) : answer_(answer), alive_(alive) { ++alive_; }
    ~CountedAuthority() override { --alive_; }
    OSStatus obtainAdministratorRight(bool) override { return answer_; }
    OSStatus startPrivileged(const std::string&, const std::vector<std::string>&) override {
        return errAuthorizationSuccess;
    }

private:
    OSStatus answer_;
    int& alive_;
};

} // namespace

TEST(ElevationAuthorization, EndsWithTheElevationWhetherGrantedOrNot) {
    for (const OSStatus answer : {errAuthorizationSuccess, errAuthorizationCanceled}) {
        int alive = 0;
        AuthorityOverride authority([&] { return std::make_unique<CountedAuthority>(answer, alive); });
        const char* argv[] = {"/t", "/t", "install", "Library.QuickTime", "/p/Cam.component", nullptr};
        testsupport::StderrCapture quiet;
        EXPECT_EQ(runInstallHelper(kIdentity, 5, argv), answer);
        EXPECT_EQ(alive, 0) << answer;
    }
}
