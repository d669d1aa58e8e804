#include "Security/Authorization.h"
#include "Security/DetachedStart.h"
#include "Security/LauncherProtocol.h"
#include "Security/RunOutcome.h"
#include "support/TempDir.h"
#include "support/WhyFailed.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

using namespace platform;
namespace fs = std::filesystem;

namespace {

bool waitForFile(const fs::path& path) {
    for (int tick = 0; tick < 200; ++tick) {
        if (fs::exists(path) && fs::file_size(path) > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

// Counts how often the user would be asked.
class CountingAuthority final : public Authority {
public:
    CountingAuthority(int& asked, std::vector<std::string>& started) : asked_(asked), started_(started) {}
    OSStatus obtainAdministratorRight(bool) override {
        ++asked_;
        return errAuthorizationSuccess;
    }
    OSStatus startPrivileged(const std::string& path, const std::vector<std::string>&) override {
        started_.push_back(path);
        return errAuthorizationSuccess;
    }

private:
    int& asked_;
    std::vector<std::string>& started_;
};

AuthorizationItem adminRight{kAuthorizationRightExecute, 0, nullptr, 0};
AuthorizationRights adminRights{1, &adminRight};
constexpr AuthorizationFlags kInteractiveExtend =
    kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights | kAuthorizationFlagPreAuthorize;

} // namespace

TEST(LauncherProtocol, RequestsRoundTripAndHostileOnesAreRefused) {
    const launcher::Request request{"/p/Helpers/PrivetTool", {"/p/Helpers/PrivetTool", "--self-repair", "install",
                                                               "Library.QuickTime", "/p/with blank/\xC3\xA4.component"}};
    const auto decoded = launcher::decodeRequest(launcher::encodeRequest(request));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->path, request.path);
    EXPECT_EQ(decoded->arguments, request.arguments);
    EXPECT_TRUE(launcher::decodeRequest(std::string("/bin/true\0", 10)));

    EXPECT_FALSE(launcher::decodeRequest(""));
    EXPECT_FALSE(launcher::decodeRequest("/bin/true"));                          // not terminated
    EXPECT_FALSE(launcher::decodeRequest(std::string("relative\0", 9)));        // not absolute
    EXPECT_FALSE(launcher::decodeRequest(std::string("\0", 1)));                // empty path
    EXPECT_FALSE(launcher::decodeRequest(std::string(launcher::kMaximumRequestSize + 1, '\0')));
    std::string many = std::string("/bin/true") + '\0';
    for (std::size_t i = 0; i <= launcher::kMaximumArguments; ++i) many += std::string("x") + '\0';
    EXPECT_FALSE(launcher::decodeRequest(many));
}

TEST(LauncherProtocol, RepliesCarryTheStartError) {
    EXPECT_EQ(launcher::decodeReply(launcher::encodeReply(0)), 0);
    EXPECT_EQ(launcher::decodeReply(launcher::encodeReply(ENOENT)), ENOENT);
    for (const char* bad : {"", "started", "failed \n", "failed x\n", "failed -1\n", "failed 2", "granted\n"}) {
        EXPECT_FALSE(launcher::decodeReply(bad)) << bad;
    }
}

// Who asked for a run, as the launcher passes it on: digits only, never the
// "no user" id; anything else is root.
TEST(LauncherProtocol, TheRequesterIsAUserIdOrRoot) {
    EXPECT_EQ(launcher::requesterOf("1000"), 1000u);
    for (const char* bad : {static_cast<const char*>(nullptr), "", "-1", "1000 ", " 1000", "0x10", "4294967295",
                            "99999999999999999999", "1e3"}) {
        EXPECT_EQ(launcher::requesterOf(bad), 0u) << (bad ? bad : "(null)");
    }
}

// A run's outcome record: whole records round-trip, a record being rewritten
// (no end line) or of another shape is none.
TEST(LauncherProtocol, RunOutcomeRecordsRoundTripAndPartOfOneIsNone) {
    const platform::RunOutcome failed{"/Library/QuickTime/Cam.component", {1765000000, 123456789}, true,
                                      "not enough space in /Library/QuickTime"};
    const std::string text = platform::encodeRunOutcome(failed);
    const std::optional<platform::RunOutcome> back = platform::decodeRunOutcome(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->destination, failed.destination);
    EXPECT_EQ(back->ended.tv_sec, failed.ended.tv_sec);
    EXPECT_EQ(back->ended.tv_nsec, failed.ended.tv_nsec);
    EXPECT_TRUE(back->failed);
    EXPECT_EQ(back->reason, failed.reason);
    EXPECT_FALSE(platform::decodeRunOutcome(text.substr(0, text.size() - 4)));
    EXPECT_FALSE(platform::decodeRunOutcome(""));
    EXPECT_FALSE(platform::decodeRunOutcome("/x\nsoon\ndone\n\nend\n"));
    EXPECT_FALSE(platform::decodeRunOutcome("/x\n1.0\nmaybe\n\nend\n"));
}

TEST(DetachedStartTest, StartsAProgramThatIsNotOurChild) {
    testsupport::TempDir dir;
    const std::string marker = dir / "pid";
    EXPECT_FALSE(startDetached("/bin/sh", {"-c", "echo $$ > \"$0\"", marker}).isError());
    ASSERT_TRUE(waitForFile(marker));
    const pid_t started = std::stoi(testsupport::readFile(marker));
    EXPECT_EQ(waitpid(started, nullptr, WNOHANG), -1);  // not ours to wait for
    EXPECT_EQ(errno, ECHILD);
}

TEST(DetachedStartTest, ReportsWhyAStartFailed) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "plain", "#!/bin/sh\n");
    chmod((dir / "plain").c_str(), 0644);
    EXPECT_EQ(testsupport::whyFailed(startDetached(dir / "missing", {})), "execve: No such file or directory");
    EXPECT_EQ(testsupport::whyFailed(startDetached(dir / "plain", {})), "execve: Permission denied");
}

TEST(AuthorizationCalls, RefuseBadArguments) {
    EXPECT_EQ(AuthorizationCreate(nullptr, nullptr, 0, nullptr), errAuthorizationInvalidPointer);
    EXPECT_EQ(AuthorizationCopyRights(nullptr, &adminRights, nullptr, kInteractiveExtend, nullptr),
              errAuthorizationInvalidRef);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(nullptr, "/bin/true", 0, nullptr, nullptr), errAuthorizationInvalidRef);
    EXPECT_EQ(AuthorizationFree(nullptr, 0), errAuthorizationInvalidRef);

    AuthorizationRef authorization = nullptr;
    ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, 0, &authorization), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationCopyRights(authorization, nullptr, nullptr, kInteractiveExtend, nullptr),
              errAuthorizationInvalidSet);
    AuthorizationItem unknown{"system.privilege.taskport", 0, nullptr, 0};
    AuthorizationRights unknownRights{1, &unknown};
    EXPECT_EQ(AuthorizationCopyRights(authorization, &unknownRights, nullptr, kInteractiveExtend, nullptr),
              errAuthorizationDenied);
    EXPECT_EQ(AuthorizationCopyRights(authorization, &adminRights, nullptr, kAuthorizationFlagInteractionAllowed, nullptr),
              errAuthorizationDenied);  // rights may not be extended
    FILE* channel = reinterpret_cast<FILE*>(1);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(authorization, "relative/tool", 0, nullptr, &channel),
              errAuthorizationInvalidPointer);
    EXPECT_EQ(channel, nullptr);
    EXPECT_EQ(AuthorizationFree(authorization, 0), errAuthorizationSuccess);
}

TEST(AuthorizationCalls, TheUserIsAskedAtMostOncePerAuthorization) {
    int asked = 0;
    std::vector<std::string> started;
    AuthorityOverride scripted([&] { return std::make_unique<CountingAuthority>(asked, started); });
    AuthorizationRef authorization = nullptr;
    ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, 0, &authorization), errAuthorizationSuccess);
    EXPECT_EQ(AuthorizationCopyRights(authorization, &adminRights, nullptr, kInteractiveExtend, nullptr), 0);
    EXPECT_EQ(AuthorizationCopyRights(authorization, &adminRights, nullptr, kInteractiveExtend, nullptr), 0);
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(authorization, "/p/Tool", 0, nullptr, nullptr), 0);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(started, std::vector<std::string>{"/p/Tool"});
    AuthorizationFree(authorization, 0);
}

TEST(AuthorizationCalls, TheSuperuserIsGrantedAtOnceAndStartsDirectly) {
    if (geteuid() != 0) GTEST_SKIP() << "runs as the superuser";
    testsupport::TempDir dir;
    const std::string marker = dir / "ran";
    AuthorizationRef authorization = nullptr;
    ASSERT_EQ(AuthorizationCreate(nullptr, nullptr, 0, &authorization), errAuthorizationSuccess);
    ASSERT_EQ(AuthorizationCopyRights(authorization, &adminRights, nullptr, kInteractiveExtend, nullptr), 0);
    std::string script = "id -u > \"$0\"";
    char dashC[] = "-c";
    char* const arguments[] = {dashC, script.data(), const_cast<char*>(marker.c_str()), nullptr};
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(authorization, "/bin/sh", 0, arguments, nullptr), 0);
    ASSERT_TRUE(waitForFile(marker));
    EXPECT_EQ(testsupport::readFile(marker), "0\n");
    EXPECT_EQ(AuthorizationExecuteWithPrivileges(authorization, "/no/such/tool", 0, nullptr, nullptr),
              errAuthorizationToolExecuteFailure);
    AuthorizationFree(authorization, 0);
}
