// What the install controller reports about a payload, from inside a pane
// bundle, with the Library folders in a temporary folder.

#include "PrivetTool/PrivetToolController.h"

#include "Foundation/FileManager.h"
#include "support/LogLines.h"
#include "support/PayloadBundles.h"
#include "support/StderrCapture.h"

#include <gtest/gtest.h>

using namespace platform;
using testsupport::PayloadInfo;
using testsupport::paneFolder;
using testsupport::writePayloadBundle;
namespace fs = std::filesystem;

namespace {

class PayloadStatus : public ::testing::Test {
protected:
    testsupport::ThrowawayMachine machine;
    Ref<PrivetToolController> controller = make<PrivetToolController>();
    Ref<String> fileName = make<String>("Cam.plugin");
    Ref<String> location = make<String>("Library.CoreMediaIO");
    tagBundlePayload payload{fileName.get(), location.get()};

    fs::path source() const { return paneFolder("Resources") / "Cam.plugin"; }
    fs::path installed() const { return machine.library() / "CoreMediaIO/Plug-Ins/DAL/Cam.plugin"; }

    struct Report {
        std::string status;
        std::string sourceSummary;
        bool installed;
        bool upToDate;
        std::vector<std::string> logLines;
    };
    // Every query once, with the lines they logged.
    Report report() {
        testsupport::StderrCapture capture;
        Report result{controller->bundlePayloadSystemVersionSummary(&payload)->text(),
                      controller->bundlePayloadSourceVersionSummary(&payload)->text(),
                      controller->bundlePayloadIsInstalled(&payload),
                      controller->bundlePayloadInstalledWithExtendedVerification(&payload), {}};
        result.logLines = testsupport::logLines(capture.finish());
        return result;
    }
};

const PayloadInfo kCam{"Cam", "2.0", "com.fernhill.cam"};

} // namespace

TEST_F(PayloadStatus, NothingAtTheDestinationIsNotInstalled) {
    writePayloadBundle(source(), kCam);
    const Report r = report();
    EXPECT_EQ(r.status, "NOT INSTALLED");
    EXPECT_EQ(r.sourceSummary, "Cam 2.0");
    EXPECT_FALSE(r.installed);
    EXPECT_FALSE(r.upToDate);
    EXPECT_TRUE(r.logLines.empty());
    EXPECT_EQ(controller->bundlePayloadSystemInstallationPath(&payload)->text(), installed().string());
    EXPECT_EQ(controller->bundlePayloadSourcePath(&payload)->text(), source().string());
}

TEST_F(PayloadStatus, SameIdentifierAndVersionIsUpToDateWhateverTheName) {
    writePayloadBundle(source(), kCam);
    writePayloadBundle(installed(), {"Camera (old name)", "2.0", "com.fernhill.cam"});
    const Report r = report();
    EXPECT_EQ(r.status, "Camera (old name) 2.0 (IS UP TO DATE)");
    EXPECT_TRUE(r.installed);
    EXPECT_TRUE(r.upToDate);
    EXPECT_TRUE(r.logLines.empty());
}

TEST_F(PayloadStatus, BinaryAndXMLInformationListsCompareAlike) {
    writePayloadBundle(source(), kCam);
    writePayloadBundle(installed(), {"Cam", "2.0", "com.fernhill.cam", false, true});
    EXPECT_EQ(report().status, "Cam 2.0 (IS UP TO DATE)");
    writePayloadBundle(installed(), {"Cam", "1.9", "com.fernhill.cam", false, true});
    EXPECT_EQ(report().status, "Cam 1.9 (NEEDS UPDATING)");
}

TEST_F(PayloadStatus, AnotherVersionNeedsUpdatingAndIsLoggedOnEveryVerification) {
    writePayloadBundle(source(), kCam);
    writePayloadBundle(installed(), {"Cam", "3.0", "com.fernhill.cam"});  // higher counts too
    const Report r = report();
    EXPECT_EQ(r.status, "Cam 3.0 (NEEDS UPDATING)");
    EXPECT_FALSE(r.upToDate);
    const std::string line = "bundlePayload(Cam.plugin) sourceVersion:2.0 systemVersion:3.0";
    EXPECT_EQ(r.logLines, (std::vector<std::string>{line, line}));  // the status read, then the up-to-date read
}

TEST_F(PayloadStatus, AnotherIdentifierNeedsUpdatingWithoutALogLine) {
    writePayloadBundle(source(), kCam);
    writePayloadBundle(installed(), {"Cam", "2.0", "com.other.cam"});
    const Report r = report();
    EXPECT_EQ(r.status, "Cam 2.0 (NEEDS UPDATING)");
    EXPECT_TRUE(r.logLines.empty());
}

TEST_F(PayloadStatus, AVersionThatIsANumberShowsItsTextButNeverMatches) {
    writePayloadBundle(source(), {"Cam", "7", "com.fernhill.cam", true});
    writePayloadBundle(installed(), {"Cam", "7", "com.fernhill.cam", true});
    const Report r = report();
    EXPECT_EQ(r.status, "Cam 7 (NEEDS UPDATING)");
    EXPECT_EQ(r.sourceSummary, "Cam 7");
    EXPECT_TRUE(r.logLines.empty());
}

TEST_F(PayloadStatus, IdentifiersMustBePresentToMatch) {
    writePayloadBundle(source(), {"Cam", "2.0", std::nullopt});
    writePayloadBundle(installed(), {"Cam", "2.0", std::nullopt});
    const Report r = report();
    EXPECT_EQ(r.status, "Cam 2.0 (NEEDS UPDATING)");
    EXPECT_TRUE(r.logLines.empty());
}

TEST_F(PayloadStatus, TwoMissingVersionsDoNotMatchAndAreLoggedAsNull) {
    writePayloadBundle(source(), {"Cam", std::nullopt, "com.fernhill.cam"});
    writePayloadBundle(installed(), {"Cam", std::nullopt, "com.fernhill.cam"});
    const Report r = report();
    EXPECT_EQ(r.status, " (NEEDS UPDATING)");
    EXPECT_EQ(r.sourceSummary, "");
    EXPECT_EQ(r.logLines.front(), "bundlePayload(Cam.plugin) sourceVersion:(null) systemVersion:(null)");
}

TEST_F(PayloadStatus, APlainFileOrABareFolderAtTheDestinationIsInstalledButNotUpToDate) {
    writePayloadBundle(source(), kCam);
    testsupport::writeFile(installed(), "not a bundle");
    Report r = report();
    EXPECT_TRUE(r.installed);
    EXPECT_EQ(r.status, " (NEEDS UPDATING)");
    fs::remove(installed());
    fs::create_directories(installed());
    r = report();
    EXPECT_TRUE(r.installed);
    EXPECT_EQ(r.status, " (NEEDS UPDATING)");
    EXPECT_TRUE(r.logLines.empty());
}

TEST_F(PayloadStatus, ASummaryNeedsBothNameAndVersion) {
    Ref<String> path = make<String>((machine.root.path() / "Only.bundle").string());
    writePayloadBundle(machine.root.path() / "Only.bundle", {"Cam", std::nullopt, std::nullopt});
    EXPECT_EQ(controller->bundleVersionSummaryString(path.get())->text(), "");
    writePayloadBundle(machine.root.path() / "Only.bundle", {std::nullopt, "1.0", std::nullopt});
    EXPECT_EQ(controller->bundleVersionSummaryString(path.get())->text(), "");
    EXPECT_EQ(controller->bundleVersionSummaryString(nullptr)->text(), "");
    EXPECT_EQ(controller->bundleVersionSummaryString(make<String>("/no/such/bundle").get())->text(), "");
}

TEST_F(PayloadStatus, APayloadMissingFromThePaneWhileInstalledShowsTheInstalledCopy) {
    writePayloadBundle(installed(), {"Cam", "1.0", "com.fernhill.cam"});
    const Report r = report();
    EXPECT_EQ(r.sourceSummary, "");
    EXPECT_EQ(r.status, "Cam 1.0 (NEEDS UPDATING)");
    EXPECT_FALSE(controller->bundlePayloadSourcePath(&payload));
}

TEST_F(PayloadStatus, TheResourcesCopyIsTheSourceWhenThePlugInsFolderHasOneToo) {
    writePayloadBundle(source(), kCam);
    writePayloadBundle(paneFolder("PlugIns") / "Cam.plugin", {"Cam", "9.9", "com.fernhill.cam"});
    writePayloadBundle(installed(), kCam);
    EXPECT_EQ(report().status, "Cam 2.0 (IS UP TO DATE)");
}

TEST_F(PayloadStatus, NothingIsCachedBetweenQueries) {
    writePayloadBundle(source(), kCam);
    EXPECT_EQ(report().status, "NOT INSTALLED");
    writePayloadBundle(installed(), kCam);
    EXPECT_EQ(report().status, "Cam 2.0 (IS UP TO DATE)");
    writePayloadBundle(installed(), {"Cam", "1.0", "com.fernhill.cam"});
    EXPECT_EQ(report().status, "Cam 1.0 (NEEDS UPDATING)");
}

TEST_F(PayloadStatus, AnAbsentRecordOrFieldIsNotInstalled) {
    tagBundlePayload empty{nullptr, nullptr};
    EXPECT_FALSE(controller->bundlePayloadIsInstalled(&empty));
    EXPECT_EQ(controller->bundlePayloadSystemVersionSummary(&empty)->text(), "NOT INSTALLED");
    EXPECT_EQ(controller->bundlePayloadSourceVersionSummary(nullptr)->text(), "");
    EXPECT_FALSE(controller->bundlePayloadSystemInstallationPath(&empty));
}
