// Install and remove through the helper tool in the pane's bundle: a
// recording stand-in for the argument lists, the real helper in the sandbox.

#include "PrivetTool/PrivetToolController.h"

#include "Foundation/Exception.h"
#include "Foundation/FileManager.h"
#include "support/PayloadBundles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>

using namespace platform;
using testsupport::PayloadInfo;
using testsupport::paneFolder;
using testsupport::writePayloadBundle;
namespace fs = std::filesystem;

namespace {

// Writes its argument count, its own path and its arguments, one a line.
void writeRecordingTool(const fs::path& path, const std::string& record) {
    testsupport::writeFile(path, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$0\" \"$@\" > '" + record + "'\n");
    chmod(path.c_str(), 0755);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

class HelperLaunch : public ::testing::Test {
protected:
    testsupport::ThrowawayMachine machine;
    Ref<PrivetToolController> controller = make<PrivetToolController>();
    Ref<String> fileName = make<String>("Cam.component");
    Ref<String> location = make<String>("Library.QuickTime");
    tagBundlePayload payload{fileName.get(), location.get()};
    std::string record = machine.root / "arguments";
    std::string helper = (paneFolder("Helpers") / "PrivetTool").string();
    std::string source = (paneFolder("Resources") / "Cam.component").string();
    fs::path installed = machine.library() / "QuickTime/Cam.component";

    void SetUp() override {
        writeRecordingTool(helper, record);
        writePayloadBundle(source, {"Cam", "2.0", "com.fernhill.cam"});
    }
    std::vector<std::string> recorded() const { return fs::exists(record) ? lines(testsupport::readFile(record)) : std::vector<std::string>{}; }
};

} // namespace

TEST_F(HelperLaunch, InstallStartsTheHelperWithFiveArgumentsAndWaitsAtLeastASecond) {
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(controller->bundlePayload_installYESRemoveNO(&payload, true));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    EXPECT_EQ(recorded(), (std::vector<std::string>{"4", helper, helper, "install", "Library.QuickTime", source}));
}

TEST_F(HelperLaunch, RemovalPassesTheSourcePathInThePaneNotTheInstalledPath) {
    writePayloadBundle(installed, {"Cam", "1.0", "com.fernhill.cam"});
    EXPECT_TRUE(controller->bundlePayload_installYESRemoveNO(&payload, false));
    EXPECT_EQ(recorded(), (std::vector<std::string>{"4", helper, helper, "delete", "Library.QuickTime", source}));
}

TEST_F(HelperLaunch, NothingToDoStartsNothing) {
    EXPECT_FALSE(controller->bundlePayload_installYESRemoveNO(&payload, false));  // not installed
    writePayloadBundle(installed, {"Cam", "1.0", "com.fernhill.cam"});            // installed, outdated
    EXPECT_FALSE(controller->bundlePayload_installYESRemoveNO(&payload, true));
    EXPECT_EQ(controller->bundlePayloadSystemVersionSummary(&payload)->text(), "Cam 1.0 (NEEDS UPDATING)");
    EXPECT_TRUE(recorded().empty());
}

TEST_F(HelperLaunch, TheListEndsAtItsFirstAbsentElement) {
    fs::remove_all(source);  // no source path: three elements
    EXPECT_TRUE(controller->bundlePayload_installYESRemoveNO(&payload, true));
    EXPECT_EQ(recorded(), (std::vector<std::string>{"3", helper, helper, "install", "Library.QuickTime"}));

    tagBundlePayload noLocation{fileName.get(), nullptr};  // no location: two elements
    EXPECT_TRUE(controller->install_bundlePayload(true, &noLocation));
    EXPECT_EQ(recorded(), (std::vector<std::string>{"2", helper, helper, "install"}));
}

TEST_F(HelperLaunch, WithoutAHelperToolTheLaunchRaisesAndStartsNothing) {
    fs::remove(helper);
    EXPECT_EQ(controller->privetToolHelperPath()->text(), "errorNoToolPath");
    // Not even a program of that name in the current folder.
    writeRecordingTool(machine.root.path() / "errorNoToolPath", record);
    const fs::path before = fs::current_path();
    fs::current_path(machine.root.path());
    try {
        controller->bundlePayload_installYESRemoveNO(&payload, true);
        ADD_FAILURE() << "no exception";
    } catch (const RaisedException& raised) {
        EXPECT_TRUE(raised.name()->isEqualToString(NSInvalidArgumentException));
    }
    fs::current_path(before);
    EXPECT_TRUE(recorded().empty());
}

TEST_F(HelperLaunch, TheHelperIsLookedUpUnderItsNameResourcesFirst) {
    const std::string inResources = (paneFolder("Resources") / "PrivetTool").string();
    writeRecordingTool(inResources, record);
    EXPECT_EQ(controller->privetToolHelperPath()->text(), inResources);

    const std::string renamed = (paneFolder("Helpers") / "KestrelInstallHelper").string();
    writeRecordingTool(renamed, record);
    controller->setPrivetToolHelperName(make<String>("KestrelInstallHelper").get());
    EXPECT_EQ(controller->privetToolHelperName()->text(), "KestrelInstallHelper");
    EXPECT_TRUE(controller->bundlePayload_installYESRemoveNO(&payload, true));
    EXPECT_EQ(recorded().at(1), renamed);
}

TEST_F(HelperLaunch, AnEmptyListOrNoTaskStartsNothing) {
    EXPECT_FALSE(controller->launchHelperWithArguments(nullptr));
    EXPECT_FALSE(controller->launchHelperWithArguments(make<Array>().get()));
    EXPECT_FALSE(controller->sleepUntilTaskExits(nullptr));
}

// The real helper, as root in the sandbox: the install controller starts
// its elevation run and learns the outcome by asking again.
TEST(RealHelperInSandbox, InstallsAndRemovesThePayload) {
    if (getenv("PRIVET_TEST_SANDBOX") == nullptr || geteuid() != 0) GTEST_SKIP() << "runs as root in the sandbox";
    for (const char* program : {"KestrelInstallHelper", "privileged-launcher"}) {
        const fs::path target = paneFolder("Helpers") / (std::string(program) == "KestrelInstallHelper" ? "PrivetTool" : program);
        fs::copy_file(fs::path(PRODUCTS_DIR) / program, target);
    }
    writePayloadBundle(paneFolder("PlugIns") / "Cam.plugin", {"Cam", "4.2", "com.fernhill.cam"});
    Ref<PrivetToolController> controller = make<PrivetToolController>();
    Ref<String> fileName = make<String>("Cam.plugin");
    Ref<String> location = make<String>("Library.CoreMediaIO");
    tagBundlePayload payload{fileName.get(), location.get()};
    auto waitFor = [&](bool installed) {
        for (int tick = 0; tick < 600 && controller->bundlePayloadIsInstalled(&payload) != installed; ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return controller->bundlePayloadIsInstalled(&payload) == installed;
    };

    EXPECT_TRUE(controller->bundlePayload_installYESRemoveNO(&payload, true));
    // The copy takes its name only once its modes and owner are set.
    ASSERT_TRUE(waitFor(true));
    EXPECT_EQ(controller->bundlePayloadSystemVersionSummary(&payload)->text(), "Cam 4.2 (IS UP TO DATE)");
    struct stat status{};
    ASSERT_EQ(stat("/Library/CoreMediaIO/Plug-Ins/DAL/Cam.plugin", &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u);

    EXPECT_FALSE(controller->bundlePayload_installYESRemoveNO(&payload, true));  // nothing to do
    EXPECT_TRUE(controller->bundlePayload_installYESRemoveNO(&payload, false));
    ASSERT_TRUE(waitFor(false));
    EXPECT_EQ(controller->bundlePayloadSystemVersionSummary(&payload)->text(), "NOT INSTALLED");
}
