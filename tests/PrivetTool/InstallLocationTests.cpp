#include "PrivetTool/PrivetToolConst.h"

#include "Foundation/AssertionHandler.h"
#include "Foundation/Exception.h"
#include "Foundation/FileManager.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <optional>

using namespace platform;

namespace {

std::optional<std::string> text(const Ref<String>& s) { return s ? std::optional(s->text()) : std::nullopt; }

std::optional<std::string> locationPath(const char* name) {
    return text(PrivetTool::locationPathWithLocationName(make<String>(name).get()));
}

std::optional<std::string> destination(const char* name, const char* source) {
    Ref<String> location = name ? make<String>(name) : nullptr;
    Ref<String> path = source ? make<String>(source) : nullptr;
    return text(PrivetTool::destinationWithLocationName_sourcePath(location.get(), path.get()));
}

// Library folders of a throwaway machine.
class InstallLocations : public ::testing::Test {
protected:
    LibraryFoldersOverride folders{{"/home/u/Library", "/sandbox/Library", "/sandbox/System/Library"}};
};

} // namespace

TEST(LocationNames, HaveTheirValuesAndCommandWordsTheirs) {
    EXPECT_EQ(kPrivetTool_Location_LibraryQuickTime->text(), "Library.QuickTime");
    EXPECT_EQ(kPrivetTool_Location_LibraryCoreMediaIOPlugInsDAL->text(), "Library.CoreMediaIO");
    EXPECT_EQ(kPrivetTool_Location_LibraryGraphicsImageUnits->text(), "Library.CoreImage");
    EXPECT_EQ(kPrivetTool_Location_LibraryGraphicsQuartzComposer->text(), "Library.QuartzComposer");
    EXPECT_EQ(kPrivetTool_Location_LibraryQuartzCompositions->text(), "Library.Compositions");
    EXPECT_EQ(kPrivetTool_Location_SystemLibraryKEXT->text(), "System.Library.KEXT");
    EXPECT_EQ(kPrivetTool_Command_Install->text(), "install");
    EXPECT_EQ(kPrivetTool_Command_Delete->text(), "delete");
}

TEST_F(InstallLocations, EveryRowResolvesInItsDomain) {
    EXPECT_EQ(locationPath("Library.QuickTime"), "/sandbox/Library/QuickTime");
    EXPECT_EQ(locationPath("Library.CoreMediaIO"), "/sandbox/Library/CoreMediaIO/Plug-Ins/DAL");
    EXPECT_EQ(locationPath("Library.CoreImage"), "/sandbox/Library/Graphics/Image Units");
    EXPECT_EQ(locationPath("Library.QuartzComposer"), "/sandbox/Library/Graphics/Quartz Composer Plug-Ins");
    EXPECT_EQ(locationPath("Library.Compositions"), "/sandbox/Library/Compositions");
    EXPECT_EQ(locationPath("System.Library.KEXT"), "/sandbox/System/Library/Extensions");
}

TEST_F(InstallLocations, NamesMatchExactlyOrNotAtAll) {
    for (const char* near : {"library.quicktime", " Library.QuickTime", "Library.QuickTime ", "Library.QuickTim",
                             "Library.QuickTime.", "Library", "", "Library.QuickTime/../..", "LIBRARY.COREIMAGE",
                             "System.Library.Kext", "Library.GraphicsImageUnits"}) {
        EXPECT_EQ(locationPath(near), std::nullopt) << '"' << near << '"';
    }
    EXPECT_FALSE(PrivetTool::locationPathWithLocationName(nullptr));
}

TEST(InstallLocationsOnThisMachine, UseTheMachinesLibraryFolders) {
    EXPECT_EQ(locationPath("Library.QuickTime"), "/Library/QuickTime");
    EXPECT_EQ(locationPath("System.Library.KEXT"), "/System/Library/Extensions");
    const passwd* user = getpwuid(geteuid());
    ASSERT_NE(user, nullptr);
    const std::string home = std::string(user->pw_dir) == "/" ? "" : user->pw_dir;
    EXPECT_EQ(text(PrivetTool::usersLibraryFolderWithSubDirectoryPathName(make<String>("QuickTime").get())),
              home + "/Library/QuickTime");
}

TEST_F(InstallLocations, DestinationIsTheLocationPathAndTheLastSourceComponent) {
    EXPECT_EQ(destination("Library.CoreMediaIO", "/Applications/X.app/Contents/Resources/Cam.plugin"),
              "/sandbox/Library/CoreMediaIO/Plug-Ins/DAL/Cam.plugin");
    EXPECT_EQ(destination("Library.CoreMediaIO", "/Applications/X.app/Contents/Resources/Cam.plugin/"),
              "/sandbox/Library/CoreMediaIO/Plug-Ins/DAL/Cam.plugin");
    EXPECT_EQ(destination("Library.CoreMediaIO", "Cam.plugin"), "/sandbox/Library/CoreMediaIO/Plug-Ins/DAL/Cam.plugin");
    EXPECT_EQ(destination("Library.CoreImage", "/p/Blur Filter.plugin"),
              "/sandbox/Library/Graphics/Image Units/Blur Filter.plugin");
    EXPECT_EQ(destination("System.Library.KEXT", "/x/Cam.kext"), "/sandbox/System/Library/Extensions/Cam.kext");
    EXPECT_EQ(destination("Library.QuickTime", "/x/-rf"), "/sandbox/Library/QuickTime/-rf");
    EXPECT_EQ(destination("Library.QuickTime", "/x/100% Cam.component"), "/sandbox/Library/QuickTime/100% Cam.component");
}

TEST_F(InstallLocations, DestinationIsAbsentRatherThanAPlaceholderPath) {
    EXPECT_EQ(destination("Library.Nowhere", "/x/Cam.plugin"), std::nullopt);
    EXPECT_EQ(destination(nullptr, "/x/Cam.plugin"), std::nullopt);
    EXPECT_EQ(destination("Library.QuickTime", nullptr), std::nullopt);
}

TEST_F(InstallLocations, DestinationIsAbsentWhenTheSourceWouldNameTheLocationOrItsParent) {
    for (const char* source : {"/", "///", "", "x/.", "x/..", ".", "..", "x/../", "x/./"}) {
        EXPECT_EQ(destination("Library.QuickTime", source), std::nullopt) << '"' << source << '"';
    }
    EXPECT_EQ(destination("Library.QuickTime", "x/...") , "/sandbox/Library/QuickTime/...");
    EXPECT_EQ(destination("Library.QuickTime", ".hidden"), "/sandbox/Library/QuickTime/.hidden");
}

TEST(InstallLocationsWithoutLibrary, AreAbsentWhenTheLibraryFolderCannotBeNamed) {
    LibraryFoldersOverride folders({std::nullopt, std::nullopt, "/sandbox/System/Library"});
    EXPECT_EQ(locationPath("Library.QuickTime"), std::nullopt);
    EXPECT_EQ(destination("Library.QuickTime", "/x/Cam.component"), std::nullopt);
    EXPECT_EQ(destination("System.Library.KEXT", "/x/Cam.kext"), "/sandbox/System/Library/Extensions/Cam.kext");
    EXPECT_FALSE(PrivetTool::usersLibraryFolderWithSubDirectoryPathName(make<String>("QuickTime").get()));
}

TEST_F(InstallLocations, LibraryFolderJoinIsNotNormalised) {
    EXPECT_EQ(text(PrivetTool::libraryFolderInDomain_folderPath(NSLocalDomainMask, make<String>("a//b/").get())),
              "/sandbox/Library/a//b/");
    EXPECT_EQ(text(PrivetTool::usersLibraryFolderWithSubDirectoryPathName(make<String>("QuickTime").get())),
              "/home/u/Library/QuickTime");
    EXPECT_EQ(text(PrivetTool::slashLibraryFolderWithSubDirectoryPathName(make<String>("").get())), "/sandbox/Library/");
    EXPECT_FALSE(PrivetTool::libraryFolderInDomain_folderPath(NSLocalDomainMask, nullptr));
}

TEST_F(InstallLocations, PathForDirectoryTakesTheFirstFolderOrNone) {
    EXPECT_EQ(text(PrivetTool::pathForDirectory_searchDomain(NSLibraryDirectory, NSSystemDomainMask)),
              "/sandbox/System/Library");
    EXPECT_EQ(text(PrivetTool::pathForDirectory_searchDomain(NSLibraryDirectory, NSAllDomainsMask)), "/home/u/Library");
    EXPECT_FALSE(PrivetTool::pathForDirectory_searchDomain(NSLibraryDirectory, 0));
    EXPECT_FALSE(PrivetTool::pathForDirectory_searchDomain(NSLibraryDirectory, NSNetworkDomainMask));
    EXPECT_FALSE(PrivetTool::pathForDirectory_searchDomain(9, NSLocalDomainMask));
}

TEST(InstallLocationsUncached, EveryCallAsksForTheLibraryFolderAgain) {
    std::optional<std::string> first;
    {
        LibraryFoldersOverride folders({std::nullopt, "/one/Library", std::nullopt});
        first = destination("Library.Compositions", "C.qtz");
    }
    LibraryFoldersOverride folders({std::nullopt, "/two/Library", std::nullopt});
    EXPECT_EQ(first, "/one/Library/Compositions/C.qtz");
    EXPECT_EQ(destination("Library.Compositions", "C.qtz"), "/two/Library/Compositions/C.qtz");
}

TEST(PrivetToolClass, IsRegisteredUnderItsNameAndAnchored) {
    EXPECT_EQ(PrivetTool::classRecord.name(), "PrivetTool");
    EXPECT_EQ(Class::named("PrivetTool"), &PrivetTool::classRecord);
    EXPECT_EQ(Class::named("KestrelPrefs_PrivetToolBase"), nullptr);
    EXPECT_EQ(PrivetTool::classRecord.superclass(), &Object::classRecord);
    EXPECT_EQ(import_PrivetTool(), 1);
}

namespace {
// Records failures and lets the caller go on.
class RecordingHandler final : public AssertionHandler {
public:
    void handleFailureInMethod_object_file_lineNumber_description(std::string_view method, AssertionReceiver receiver,
                                                                  const String* file, long line,
                                                                  const String* description) override {
        failures.push_back(std::string(method) + " " + (receiver.isClass() ? receiver.receiverClass()->name() : "?") +
                           " " + file->text() + ":" + std::to_string(line) + " " + description->text());
    }
    std::vector<std::string> failures;
};
} // namespace

// This program's code lies in no bundle: the lookups report it.
TEST(PayloadBundleOutsideABundle, IsReportedAndRaisesUnderTheDefaultHandler) {
    try {
        PrivetTool::mainBundlePayloadPathForResourceName(make<String>("x").get());
        FAIL() << "no exception";
    } catch (const RaisedException& raised) {
        EXPECT_TRUE(raised.name()->isEqualToString(NSInternalInconsistencyException));
        EXPECT_EQ(raised.reason()->text(), "Failed to get class bundle.");
    }
}

TEST(PayloadBundleOutsideABundle, FallsBackToTheMainBundleWhenTheHandlerReturns) {
    Ref<RecordingHandler> recorder = make<RecordingHandler>();
    Ref<AssertionHandler> previous = AssertionHandler::setCurrentHandler(recorder);
    Ref<Bundle> bundle = PrivetTool::payloadBundle();
    AssertionHandler::setCurrentHandler(previous);
    ASSERT_TRUE(bundle);
    EXPECT_EQ(bundle.get(), Bundle::mainBundle());
    EXPECT_EQ(recorder->failures,
              std::vector<std::string>{"payloadBundle PrivetTool PrivetTool/PrivetToolConst:45 Failed to get class bundle."});
}
