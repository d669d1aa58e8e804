// The Preferences program, started as a user would start it.

#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>

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

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
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

// The start-up benchmarks' probe: one line with the time of the pane's first
// paint on the descriptor named, then the program quits without being asked.
TEST(PreferencesProgram, ReportsTheFirstPaintOfTheSelectedPaneAndQuits) {
    const long long before = monotonicNs();
    const testsupport::ProgramRun run =
        runProgram("timeout 20 env PRIVET_FIRST_PAINT_FD=3 " + kProgram + " --select Alpha " + kPanes + " 3>&1");
    const long long after = monotonicNs();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("PaneLifecycle Alpha didSelect"), std::string::npos) << run.output;
    std::smatch report;
    ASSERT_TRUE(std::regex_search(run.output, report, std::regex("(^|\\n)([0-9]+)\\n"))) << run.output;
    const long long painted = std::stoll(report[2]);
    EXPECT_GT(painted, before);
    EXPECT_LT(painted, after);

    for (const char* bad : {"three", "3x", "-1", "", "99"}) {  // 99: not open
        const testsupport::ProgramRun refused =
            runProgram("PRIVET_FIRST_PAINT_FD=" + shellQuoted(bad) + " " + kProgram + " --select Alpha " + kPanes);
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_NE(refused.output.find("Preferences: PRIVET_FIRST_PAINT_FD"), std::string::npos) << refused.output;
    }
}
