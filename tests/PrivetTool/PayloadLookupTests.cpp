// Payload lookups, run from inside a pane bundle.

#include "PrivetTool/PrivetToolController.h"

#include "support/PayloadBundles.h"

#include <gtest/gtest.h>

#include <optional>

using namespace platform;
using testsupport::paneFolder;
namespace fs = std::filesystem;

namespace {
std::optional<std::string> text(const Ref<String>& s) { return s ? std::optional(s->text()) : std::nullopt; }
Ref<String> name(const char* value) { return make<String>(value); }
} // namespace

TEST(PayloadBundle, IsThePaneNotTheHostApplication) {
    Ref<Bundle> bundle = PrivetTool::payloadBundle();
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle->bundlePath()->text(), testPaneBundlePath());
    ASSERT_NE(Bundle::mainBundle(), nullptr);
    EXPECT_NE(Bundle::mainBundle()->bundlePath()->text(), testPaneBundlePath());
    // The host's own folder holds the host program, which the pane does not.
    EXPECT_FALSE(PrivetTool::mainBundlePayloadPathForResourceName(name("bundle_test_host").get()));
}

TEST(PayloadLookups, EachLooksInItsOwnFolderOnly) {
    testsupport::writeFile(paneFolder("Resources") / "OnlyResource.component", "r");
    fs::create_directories(paneFolder("PlugIns") / "OnlyPlugIn.plugin/Contents");
    testsupport::writeFile(paneFolder("Helpers") / "OnlyHelper", "h");

    EXPECT_EQ(text(PrivetTool::mainBundlePayloadPathForResourceName(name("OnlyResource.component").get())),
              testPaneBundlePath() + "/Contents/Resources/OnlyResource.component");
    EXPECT_FALSE(PrivetTool::mainBundlePayloadPathForPlugInName(name("OnlyResource.component").get()));
    EXPECT_FALSE(PrivetTool::mainBundlePayloadPathForHelperName(name("OnlyResource.component").get()));

    EXPECT_EQ(text(PrivetTool::mainBundlePayloadPathForPlugInName(name("OnlyPlugIn.plugin").get())),
              testPaneBundlePath() + "/Contents/PlugIns/OnlyPlugIn.plugin");  // a folder counts as a file does
    EXPECT_FALSE(PrivetTool::mainBundlePayloadPathForResourceName(name("OnlyPlugIn.plugin").get()));

    EXPECT_EQ(text(PrivetTool::mainBundlePayloadPathForHelperName(name("OnlyHelper").get())),
              testPaneBundlePath() + "/Contents/Helpers/OnlyHelper");
    EXPECT_FALSE(PrivetTool::mainBundlePayloadPathForPlugInName(name("OnlyHelper").get()));
    EXPECT_FALSE(PrivetTool::mainBundlePayloadPathForResourceName(name("Missing.plugin").get()));
}

TEST(PayloadLookups, NamesThatLeadToTheFolderOrOutOfItFindNothing) {
    testsupport::writeFile(paneFolder("Resources") / "x", "r");
    for (const char* bad : {"", ".", "..", "./", "../Resources", "x/..", "../../Contents/Info.plist", "/"}) {
        EXPECT_FALSE(PrivetTool::mainBundlePayloadPathForResourceName(name(bad).get())) << '"' << bad << '"';
        EXPECT_FALSE(PrivetTool::mainBundlePayloadPathForPlugInName(name(bad).get())) << '"' << bad << '"';
        EXPECT_FALSE(PrivetTool::mainBundlePayloadPathForHelperName(name(bad).get())) << '"' << bad << '"';
    }
    EXPECT_FALSE(PrivetTool::mainBundlePayloadPathForResourceName(nullptr));
    EXPECT_FALSE(PrivetTool::bundleValidPathThatExistsOrNil(nullptr));
}

TEST(PayloadLookups, ComeInTheOrderResourcesPlugInsHelpers) {
    PrivetToolController* controller = static_cast<PrivetToolController*>(
        PrivetToolController::classRecord.createInstance().leak());
    Ref<PrivetToolController> owner = Ref<PrivetToolController>::adopt(controller);
    for (const char* folder : {"Resources", "PlugIns", "Helpers"}) testsupport::writeFile(paneFolder(folder) / "Everywhere", folder);
    testsupport::writeFile(paneFolder("PlugIns") / "PlugInAndHelper", "p");
    testsupport::writeFile(paneFolder("Helpers") / "PlugInAndHelper", "h");
    testsupport::writeFile(paneFolder("Helpers") / "HelperOnly", "h");
    EXPECT_EQ(text(owner->mainBundlePayloadPathForPayloadName(name("Everywhere").get())),
              testPaneBundlePath() + "/Contents/Resources/Everywhere");
    EXPECT_EQ(text(owner->mainBundlePayloadPathForPayloadName(name("PlugInAndHelper").get())),
              testPaneBundlePath() + "/Contents/PlugIns/PlugInAndHelper");
    EXPECT_EQ(text(owner->mainBundlePayloadPathForPayloadName(name("HelperOnly").get())),
              testPaneBundlePath() + "/Contents/Helpers/HelperOnly");
    EXPECT_FALSE(owner->mainBundlePayloadPathForPayloadName(name("Nowhere").get()));
}
