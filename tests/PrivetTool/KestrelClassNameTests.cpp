// The payload library compiled under the KestrelPrefs pane's class names.

#include "PrivetTool/PrivetToolConst.h"

#include "Foundation/FileManager.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(KestrelPrefsBuild, CarriesTheLocationClassAsKestrelPrefsPrivetToolBase) {
    EXPECT_EQ(KestrelPrefs_PrivetToolBase::classRecord.name(), "KestrelPrefs_PrivetToolBase");
    EXPECT_EQ(Class::named("KestrelPrefs_PrivetToolBase"), &KestrelPrefs_PrivetToolBase::classRecord);
    EXPECT_EQ(Class::named("PrivetTool"), nullptr);
    EXPECT_EQ(import_PrivetTool(), 1);
}

TEST(KestrelPrefsBuild, ResolvesTheSameDestinations) {
    LibraryFoldersOverride folders({std::nullopt, "/sandbox/Library", "/sandbox/System/Library"});
    Ref<String> destination = KestrelPrefs_PrivetToolBase::destinationWithLocationName_sourcePath(
        kPrivetTool_Location_LibraryQuickTime, make<String>("/p/Contents/Resources/Cam.component").get());
    ASSERT_TRUE(destination);
    EXPECT_EQ(destination->text(), "/sandbox/Library/QuickTime/Cam.component");
    EXPECT_FALSE(KestrelPrefs_PrivetToolBase::destinationWithLocationName_sourcePath(
        make<String>("Library.Nowhere").get(), make<String>("Cam.component").get()));
}
