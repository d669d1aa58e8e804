// The payload library in the KestrelPrefs flavour: its class names.

#include "PrivetTool/PrivetPaneClasses.h"
#include "PrivetTool/PrivetToolConst.h"

#include "Foundation/FileManager.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(KestrelPrefsBuild, CarriesTheLocationClassAsKestrelPrefsPrivetToolBase) {
    EXPECT_EQ(PrivetTool::classRecord.name(), "KestrelPrefs_PrivetToolBase");
    EXPECT_EQ(Class::named("KestrelPrefs_PrivetToolBase"), &PrivetTool::classRecord);
    EXPECT_EQ(Class::named("PrivetTool"), nullptr);
    EXPECT_EQ(import_PrivetTool(), 1);
}

TEST(KestrelPrefsBuild, CarriesTheControllersUnderItsNamesAndOnlyItsOwnPaneClasses) {
    EXPECT_EQ(Class::named("KestrelPrefs_PrivetToolController_Base"), &PrivetToolController::classRecord);
    EXPECT_EQ(Class::named("KestrelPrefs_PrivetBundlePayloadController_Base"),
              &PrivetBundlePayloadController::classRecord);
    const Class* pane = Class::named("KestrelPrefs_PrivetBundlePayloadController");
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(pane->superclass(), &PrivetBundlePayloadController::classRecord);
    Ref<Object> made = pane->createInstance();
    ASSERT_TRUE(made);
    EXPECT_EQ(&made->objectClass(), pane);
    EXPECT_TRUE(made->isKindOfClass(PrivetBundlePayloadController::classRecord));
    for (const char* absent : {"PrivetToolController", "PrivetBundlePayloadController", "OspreyPrefs_PrivetToolController",
                               "OspreyPrefs_PrivetBundlePayloadController"}) {
        EXPECT_EQ(Class::named(absent), nullptr) << absent;
    }
}

TEST(KestrelPrefsBuild, ResolvesTheSameDestinations) {
    LibraryFoldersOverride folders({std::nullopt, "/sandbox/Library", "/sandbox/System/Library"});
    Ref<String> destination = PrivetTool::destinationWithLocationName_sourcePath(
        kPrivetTool_Location_LibraryQuickTime, make<String>("/p/Contents/Resources/Cam.component").get());
    ASSERT_TRUE(destination);
    EXPECT_EQ(destination->text(), "/sandbox/Library/QuickTime/Cam.component");
    EXPECT_FALSE(PrivetTool::destinationWithLocationName_sourcePath(
        make<String>("Library.Nowhere").get(), make<String>("Cam.component").get()));
}
