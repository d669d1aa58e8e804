// Hostile argument lists for the real helper, run as root in the sandbox:
// counts, location names and their near misses, traversal, option-like,
// long, empty and non-UTF-8 entries. Whatever the entries, nothing changes
// but the one destination a list legitimately names (HostileWorld.h).

#include "HostileWorld.h"

#include <string>
#include <vector>

using namespace hostile;

namespace {

std::string beyondPathMax(const std::string& last) {
    std::string path;
    while (path.size() < 5000) path += "/deep";
    return path + "/" + last;
}

std::vector<HostileVector> argumentShapes() {
    return {
        // Argument counts 0 to 8. Linux hands a program started without
        // entries a single empty one.
        none("Count0_NoEntries", {}),
        none("Count1_ToolOnly", {kTool}),
        none("Count2", {kTool, kTool}),
        none("Count3_CommandOnly", {kTool, kTool, "install"}),
        none("Count4_NoSourcePath", {kTool, kTool, "delete", "Library.QuickTime"}),
        withPrivilegedRun(installs("Count5_ElevatedInstall",
                                   {kTool, kTool, "install", "Library.QuickTime", resource("Cam.component")},
                                   "/Library/QuickTime/Cam.component")),
        withPrivilegedRun(deletes("Count5_ElevatedDelete",
                                  {kTool, kTool, "delete", "Library.CoreImage", resource("Old.plugin")},
                                  "/Library/Graphics/Image Units/Old.plugin")),
        withPrivilegedRun(none("Count5_UnknownLocation", {kTool, kTool, "delete", "Library.Nowhere", resource(kOld)})),
        withPrivilegedRun(none("Count5_InvalidUTF8Location", {kTool, kTool, "delete", "Library.QuickTime\xFF", kOld})),
        none("Count5_RelativeToolPath", {kTool, "-rf", "delete", "Library.QuickTime", kOld}),
        none("Count5_MissingTool", {kTool, "/nonexistent/KestrelInstallHelper", "delete", "Library.QuickTime", kOld}),
        none("Count5_Empty", {"", "", "", "", ""}),
        installs("Count6_InstallCreatesTheLocationFolders",
                 run6("install", "Library.CoreMediaIO", resource("Cam.component")),
                 "/Library/CoreMediaIO/Plug-Ins/DAL/Cam.component"),
        deletes("Count6_IndexTwoIsOnlyLogged", {kTool, kTool, "-rf", "delete", "Library.QuickTime", resource(kOld)},
                kOldInQuickTime),
        deletes("Count6_InvalidUTF8EntriesZeroAndOne", {"\xFF", "\xFE", kSR, "delete", "Library.Compositions", "Old.qtz"},
                "/Library/Compositions/Old.qtz"),
        none("Count6_Empty", {"", "", "", "", "", ""}),
        deletes("Count7_ExtraEntryIgnored",
                {kTool, kTool, kSR, "delete", "Library.Compositions", resource("Old.qtz"), "/"},
                "/Library/Compositions/Old.qtz"),
        none("Count8_ExtraEntriesIgnored",
             {kTool, kTool, kSR, "install", "Library.Nowhere", resource("Cam.component"), "Library.QuickTime",
              resource("Cam.component")}),

        // The location names not used above, then near-misses of them.
        installs("Location_SystemLibraryKEXT", run6("install", "System.Library.KEXT", resource("Cam.plugin")),
                 "/System/Library/Extensions/Cam.plugin"),
        deletes("Location_QuartzComposer", run6("delete", "Library.QuartzComposer", "Old.plugin"),
                "/Library/Graphics/Quartz Composer Plug-Ins/Old.plugin"),
        deletes("Location_KEXTDelete", run6("delete", "System.Library.KEXT", "Old.kext"), "/System/Library/Extensions/Old.kext"),
        none("NearMiss_LowerCase", run6("delete", "library.quicktime", kOld)),
        none("NearMiss_UpperCase", run6("delete", "LIBRARY.QUICKTIME", kOld)),
        none("NearMiss_LeadingBlank", run6("delete", " Library.QuickTime", kOld)),
        none("NearMiss_TrailingBlank", run6("delete", "Library.QuickTime ", kOld)),
        none("NearMiss_TrailingNewline", run6("delete", "Library.QuickTime\n", kOld)),
        none("NearMiss_Prefix", run6("delete", "Library.QuickTim", kOld)),
        none("NearMiss_Suffix", run6("delete", "Library.QuickTimes", kOld)),
        none("NearMiss_TrailingDot", run6("delete", "Library.QuickTime.", kOld)),
        none("NearMiss_LeadingDot", run6("delete", ".Library.QuickTime", kOld)),
        none("NearMiss_DoubleDot", run6("delete", "Library..QuickTime", kOld)),
        none("NearMiss_DomainOnly", run6("delete", "Library", kOld)),
        none("NearMiss_SubFolderOnly", run6("delete", "QuickTime", kOld)),
        none("NearMiss_FolderPath", run6("delete", "/Library/QuickTime", kOld)),
        none("NearMiss_WithTraversal", run6("delete", "Library.QuickTime/../..", kOld)),
        none("NearMiss_ConstantName", run6("delete", "kPrivetTool_Location_LibraryQuickTime", kOld)),
        none("NearMiss_UserDomain", run6("delete", "User.Library.QuickTime", kOld)),
        none("NearMiss_KEXTCase", run6("delete", "System.Library.Kext", "Old.kext")),
        none("NearMiss_EmptyLocation", run6("delete", "", kOld)),
        none("NearMiss_OptionAsLocation", run6("delete", "-rf", kOld)),

        // Traversal and names that are no entry of their own.
        none("Traversal_UpTwice", run6("delete", "Library.QuickTime", "../../etc")),
        none("Traversal_EndsInDotDot", run6("delete", "Library.QuickTime", resource(".."))),
        none("Traversal_Root", run6("delete", "Library.QuickTime", "/")),
        none("Traversal_DoubleSlash", run6("delete", "Library.QuickTime", "//")),
        none("Traversal_Dot", run6("delete", "Library.QuickTime", ".")),
        none("Traversal_DotDot", run6("delete", "Library.QuickTime", "..")),
        none("Traversal_EndsInDot", run6("delete", "Library.QuickTime", resource(kOld + "/."))),
        none("Traversal_InstallUpTwice", run6("install", "Library.QuickTime", "../..")),
        none("Traversal_InstallRoot", run6("install", "System.Library.KEXT", "/")),
        none("Traversal_InstallParentOfResources", run6("install", "Library.Compositions", resource(".."))),
        deletes("Traversal_TrailingSlash", run6("delete", "Library.QuickTime", kOld + "/"), kOldInQuickTime),
        deletes("Traversal_SourceElsewhereOnlyNamesTheEntry",
                run6("delete", "Library.QuickTime", "/root/Library/QuickTime/" + kOld), kOldInQuickTime),
        none("Traversal_GlobIsLiteral", run6("delete", "Library.QuickTime", "*")),
        none("Traversal_InstallOntoASymbolicLink", run6("install", "Library.Compositions", resource("Trap.qtz"))),

        // Option-like entries, in the work folder where such names exist.
        inWork(none("Option_InstallDashRf", run6("install", "Library.QuickTime", "-rf"))),  // relative: refused
        inWork(deletes("Option_DeleteDoubleDash", run6("delete", "Library.QuickTime", "--"), "/Library/QuickTime/--")),
        inWork(deletes("Option_DeleteHelp", run6("delete", "Library.QuickTime", "--help"), "/Library/QuickTime/--help")),
        inWork(deletes("Option_DeleteDash", run6("delete", "Library.QuickTime", "-"), "/Library/QuickTime/-")),
        inWork(none("Option_CommandDashRf", run6("-rf", "Library.QuickTime", kOld))),
        inWork(none("Option_CommandHelp", run6("--help", "Library.QuickTime", kOld))),
        inWork(none("Option_CommandDoubleDash", run6("--", "Library.QuickTime", kOld))),

        // Very long entries.
        deletes("Long_SourceBeyondPathMax", run6("delete", "Library.QuickTime", beyondPathMax(kOld)), kOldInQuickTime),
        none("Long_InstallSourceBeyondPathMax", run6("install", "Library.QuickTime", beyondPathMax("Cam.component"))),
        deletes("Long_LongestName", run6("delete", "Library.QuickTime", resource(kLongName)), "/Library/QuickTime/" + kLongName),
        installs("Long_InstallLongestName", run6("install", "Library.QuickTime", resource(kLongName)),
                 "/Library/QuickTime/" + kLongName),
        none("Long_NameTooLong", run6("delete", "Library.QuickTime", resource(kTooLongName))),
        none("Long_InstallNameTooLong", run6("install", "Library.QuickTime", resource(kTooLongName))),
        none("Long_Location", run6("delete", std::string(5000, 'L'), kOld)),
        none("Long_Command", run6(std::string(100000, 'd'), "Library.QuickTime", kOld)),

        // Text that is not UTF-8.
        none("UTF8_Command", run6("\xFF" "delete", "Library.QuickTime", kOld)),
        none("UTF8_Location", run6("delete", "Library.QuickTime\xC3", kOld)),
        none("UTF8_DeleteSource", run6("delete", "Library.QuickTime", resource(kInvalidName))),
        none("UTF8_InstallSource", run6("install", "Library.QuickTime", resource(kInvalidName))),
        none("UTF8_OverlongSlash", run6("delete", "Library.QuickTime", "..\xC0\xAF..\xC0\xAF" + kOld)),
        none("UTF8_Surrogate", run6("delete", "Library.QuickTime", "\xED\xA0\x80" + kOld)),

        // Empty entries.
        none("Empty_Command", run6("", "Library.QuickTime", kOld)),
        none("Empty_Source", run6("delete", "Library.QuickTime", "")),
        none("Empty_InstallSource", run6("install", "Library.QuickTime", "")),

        // Newlines, percent signs and quotes.
        none("Text_CommandWithNewline", run6("delete\n", "Library.QuickTime", kOld)),
        none("Text_SourceWithNewline", run6("delete", "Library.QuickTime", kOld + "\n")),
        none("Text_PercentSource", run6("delete", "Library.QuickTime", "%@%s%n%x%%.component")),
        none("Text_PercentLocation", run6("delete", "%@%s%n%x", kOld)),
        none("Text_QuotedShell", run6("delete", "Library.QuickTime", "'; rm -rf / #'")),
        none("Text_ForgedLogLine", run6("delete", "Library.QuickTime", "/x\n" + kForgedLine + "\n/Absent.component")),
        none("Text_TerminalEscapes",
             run6("delete", "Library.QuickTime\x1b[2J", "/x/\x1b]0;owned\x07\x1b[31m\r\xC2\x9B" "2J.component")),
        installs("Text_InstallShellName", run6("install", "Library.QuickTime", resource(kShellName)),
                 "/Library/QuickTime/" + kShellName),
    };
}

// The world, with sources and installed copies of odd names.
class HostileArguments : public HostileWorld {
protected:
    void SetUp() override {
        HostileWorld::SetUp();
        if (!IsSkipped()) addOddlyNamedEntries(paths);
    }
};

} // namespace

TEST_P(HostileArguments, ChangeNothingButTheirOwnDestination) { runAndCheck(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Table, HostileArguments, ::testing::ValuesIn(argumentShapes()), nameOf);
