// The Preferences program, started as a user would start it.

#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using testsupport::runProgram;
using testsupport::shellQuoted;

namespace {

const std::string kProgram = shellQuoted(PREFERENCES_PROGRAM);
const std::string kPanes = shellQuoted(TEST_PANES_DIR);

struct PngSize {
    unsigned width = 0;
    unsigned height = 0;
};

// The size in a PNG file's header; zero for a file that is no PNG.
PngSize pngSize(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    unsigned char header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (!in || !std::equal(signature, signature + 8, header) || std::string(header + 12, header + 16) != "IHDR") return {};
    auto word = [&](int at) {
        return unsigned(header[at]) << 24 | unsigned(header[at + 1]) << 16 | unsigned(header[at + 2]) << 8 | header[at + 3];
    };
    return {word(16), word(20)};
}

} // namespace

TEST(PreferencesProgram, HelpPrintsTheUsageAndBadOptionsAreRefused) {
    const testsupport::ProgramRun help = runProgram(kProgram + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("Usage: Preferences [--select NAME] [--screenshot FILE]", 0), 0u) << help.output;

    const testsupport::ProgramRun unknown = runProgram(kProgram + " --colour blue");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("Preferences: unknown option --colour"), std::string::npos) << unknown.output;

    const testsupport::ProgramRun missing = runProgram(kProgram + " --select Gamma " + kPanes);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("Preferences: no pane is named \"Gamma\""), std::string::npos) << missing.output;
}

TEST(PreferencesProgram, SavesAScreenshotOfTheSelectedPaneAndQuits) {
    fs::create_directories(SCREENSHOT_DIR);
    const fs::path picture = fs::path(SCREENSHOT_DIR) / "Preferences-Alpha.png";
    fs::remove(picture);
    const testsupport::ProgramRun run =
        runProgram(kProgram + " --select Alpha --screenshot " + shellQuoted(picture.string()) + " " + kPanes);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("PaneLifecycle Alpha didSelect"), std::string::npos) << run.output;
    const PngSize size = pngSize(picture);
    EXPECT_GE(size.width, 780u);
    EXPECT_GE(size.height, 500u);
}

TEST(PreferencesProgram, AScreenshotOfAPaneThatCannotBeLoadedSaysSoInItsStatus) {
    testsupport::TempDir dir;
    const fs::path broken = dir.path() / "Beta.prefPane";
    fs::copy(fs::path(TEST_PANES_DIR) / "Beta.prefPane", broken, fs::copy_options::recursive);
    for (const fs::directory_entry& code : fs::directory_iterator(broken / "Contents/Linux")) {
        std::ofstream(code.path(), std::ios::trunc) << "not a shared object";
    }
    const fs::path picture = dir.path() / "Beta.png";
    const testsupport::ProgramRun run = runProgram(kProgram + " --select Beta --screenshot " +
                                                   shellQuoted(picture.string()) + " " + shellQuoted(broken.string()));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("The pane \"Beta\" (" + broken.string() + ") cannot be loaded: its code cannot be loaded"),
              std::string::npos)
        << run.output;
    EXPECT_GE(pngSize(picture).width, 780u);  // the page that explains it is still saved
}
