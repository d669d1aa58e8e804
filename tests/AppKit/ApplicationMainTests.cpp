// NSApplicationMain, run in a test application bundle.

#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testsupport::runProgram;
using testsupport::shellQuoted;

namespace {

// A copy of the test application whose main interface file is `nib`.
fs::path applicationWithNib(const testsupport::TempDir& dir, const std::string& nib) {
    const fs::path bundle = dir.path() / "Copy.app";
    fs::copy(TEST_APP_BUNDLE, bundle, fs::copy_options::recursive);
    testsupport::writeFile(bundle / "Contents/Resources/MainMenu.nib", nib);
    return bundle / "Contents/Linux/AppKitTestApp";
}

} // namespace

TEST(ApplicationMain, LoadsTheMainInterfaceShowsItsWindowsAndRunsUntilTerminated) {
    const testsupport::ProgramRun run = runProgram(shellQuoted(TEST_APP_BUNDLE "/Contents/Linux/AppKitTestApp"));
    EXPECT_EQ(run.status, 0) << run.output;
    const std::vector<std::string> expected = {
        "awakeFromNib window connected",
        "launched by NSApplication, window \"Test Application\" visible, delegate set",
        "terminating",
        "will terminate",
        "NSApplicationMain returned 0",
    };
    std::size_t at = 0;
    for (const std::string& line : expected) {
        at = run.output.find(line + "\n", at);
        EXPECT_NE(at, std::string::npos) << "missing in order: " << line << "\n" << run.output;
    }
}

TEST(ApplicationMain, AnInterfaceThatCannotBeLoadedEndsItWithStatusOneAndTheReason) {
    testsupport::TempDir dir;
    const fs::path broken = applicationWithNib(dir, "NSWindow window {\n    colour = \"red\"\n}\n");
    const testsupport::ProgramRun run = runProgram(shellQuoted(broken.string()));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Unable to load the main interface file: " +
                              (dir.path() / "Copy.app/Contents/Resources/MainMenu.nib").string() +
                              ":2: NSWindow has no key \"colour\""),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("NSApplicationMain returned 1"), std::string::npos);
}
