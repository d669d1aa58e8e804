#include "Foundation/Log.h"
#include "Foundation/String.h"
#include "support/StderrCapture.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <regex>

using namespace platform;

// A line's own words give its journal priority: failures and what was not
// done are errors, refusals and runs with less protection warnings.
static_assert(priorityOfLine("%s cannot fence %s: %s; nothing was done") == LogPriority::Error);
static_assert(priorityOfLine("%s %@ failed; nothing was installed at %@") == LogPriority::Error);
static_assert(priorityOfLine("%s could not put the removal on disk: %s") == LogPriority::Error);
static_assert(priorityOfLine("%s gave up waiting for another run in %@ to end; nothing was done") == LogPriority::Error);
static_assert(priorityOfLine("%s refused to install %@: %s") == LogPriority::Warning);
static_assert(priorityOfLine("privileged-launcher refused a request: it is malformed") == LogPriority::Warning);
static_assert(priorityOfLine("%s writes unfenced: this kernel has no Landlock") == LogPriority::Warning);
static_assert(priorityOfLine("%s waiting for another run in %@ to end") == LogPriority::Notice);
static_assert(priorityOfLine("%s executing %@\n") == LogPriority::Notice);

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

// A format read when running, as a C caller's is.
void logAtRunTime(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    NSLogv(format, arguments);
    va_end(arguments);
}

TEST(LogLines, AMalformedFormatReadWhenRunningWritesNothing) {
    testsupport::StderrCapture capture;
    logAtRunTime("broken %");
    EXPECT_EQ(capture.finish(), "");
}

TEST(LogLines, ValuesFromOutsideAreEscapedButTheFormatIsNot) {
    const struct {
        std::string text;
        std::string escaped;
    } cases[] = {
        {"plain /Library/QuickTime/K\xC3\xA4mera \xE2\x80\x94 ok", "plain /Library/QuickTime/K\xC3\xA4mera \xE2\x80\x94 ok"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {"\x1b[2J\x07\x7f", "\\x1b[2J\\x07\\x7f"},
        {"csi \xC2\x9B" "2J nel \xC2\x85", "csi \\u009b2J nel \\u0085"},  // C1 controls, as UTF-8
        {"bad \xFF\xC3 end", "bad \\xff\\xc3 end"},                     // not UTF-8
    };
    for (const auto& each : cases) EXPECT_EQ(escapedControlCharacters(each.text), each.escaped) << each.escaped;

    testsupport::StderrCapture capture;
    NSLogEscaped("%s payload:%@ \n", "Tool\n", make<String>("/x\n2025-12-08 00:00:00.000 Tool[1:1] Tool exiting"));
    NSLogEscaped("%s %@ %d", static_cast<const char*>(nullptr), nullptr, 7);
    const std::string output = capture.finish();
    EXPECT_TRUE(std::regex_match(output, std::regex(kPrefix + R"(Tool\\n payload:/x\\n2025-12-08 00:00:00\.000 )"
                                                              R"(Tool\[1:1\] Tool exiting \n)" +
                                                    kPrefix + R"(\(null\) \(null\) 7\n)")))
        << output;
}
