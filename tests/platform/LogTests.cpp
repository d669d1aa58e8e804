#include "Foundation/Log.h"
#include "Foundation/String.h"
#include "support/StderrCapture.h"

#include <gtest/gtest.h>

#include <regex>

using namespace platform;

namespace {
const std::string kPrefix = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} platform_tests\[\d+:\d+\] )";
}

TEST(LogLines, CarryTimeNameProcessAndThreadBeforeTheText) {
    testsupport::StderrCapture capture;
    NSLog("KestrelInstallHelper destination:%@ \n", make<String>("/Library/QuickTime/Cam.component"));
    NSLog("count %d", 3);
    const std::string output = capture.finish();
    EXPECT_TRUE(std::regex_match(output, std::regex(kPrefix + "KestrelInstallHelper destination:/Library/QuickTime/"
                                                              "Cam.component \n" +
                                                    kPrefix + "count 3\n")))
        << output;
}

TEST(LogLines, AFinishedTextIsNeverReadAsAFormat) {
    testsupport::StderrCapture capture;
    NSLogText("/Library/100% sure/%@ %s %n");
    const std::string output = capture.finish();
    EXPECT_TRUE(std::regex_match(output, std::regex(kPrefix + R"(/Library/100% sure/%@ %s %n\n)"))) << output;
}

TEST(LogLines, AMalformedFormatWritesNothing) {
    testsupport::StderrCapture capture;
    NSLog("broken %");
    EXPECT_EQ(capture.finish(), "");
}
