#include "LogCapture.h"

#include "WithRequirements/RequiredOSVersion.h"

#include "CoreServices/Gestalt.h"

#include <sys/utsname.h>

#include <regex>

namespace {

// Makes the system report a release for the test's duration.
class SystemRelease {
public:
    explicit SystemRelease(const char* release) { platform::setSystemReleaseForTesting(release); }
    ~SystemRelease() { platform::setSystemReleaseForTesting(nullptr); }
};

bool operator==(const TarnOperatingSystemVersion& a, const TarnOperatingSystemVersion& b) {
    return a.major == b.major && a.minor == b.minor && a.patch == b.patch;
}

std::string failedQuery(const char* query) {
    return std::string(R"(REQUIRED_OSSTATUS\(-5550\) gestaltUnknownErr-'The system does not know the answer to )"
                       R"(the query\.' - SRC>>Gestalt\()") +
           query + R"(\) in TarnOperatingSystemVersion_GetCoreFoundation:\d+ \(RequiredOSVersion\.cpp\))";
}

} // namespace

TEST(OSVersion, IsTheRunningKernelsRelease) {
    utsname names{};
    ASSERT_EQ(uname(&names), 0);
    long major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(names.release, "%ld.%ld.%ld", &major, &minor, &patch), 3) << names.release;
    TarnOperatingSystemVersion version{9, 9, 9};
    EXPECT_EQ(TarnOperatingSystemVersion_GetFoundation(&version), -1);
    EXPECT_TRUE(version == (TarnOperatingSystemVersion{major, minor, patch})) << names.release;
    EXPECT_TRUE(TarnOperatingSystemVersion_GetCurrentStruct() == version);
    EXPECT_EQ(TarnOperatingSystemVersion_GetCurrent(), major * 100 + minor * 10 + patch);
    EXPECT_EQ(TarnOperatingSystemVersion_GetCoreFoundation(nullptr), -1);
}

TEST(OSVersion, IntegerFormFollowsTheRuleEvenWhereItIsNotOrdered) {
    const std::pair<const char*, int32_t> cases[] = {
        {"10.8.0", TarnOperatingSystemVersion_MacOS_10_8}, {"10.15.0", TarnOperatingSystemVersion_MacOS_10_15},
        {"10.9.5", 1095}, {"10.10.0", 1100}, {"11.0.0", 1100}, {"10.14.10", 1150}, {"10.15.7", 1157},
        {"6.1.0-18-amd64", 610}, {"2147483647.0.0", -100},  // wraps in 32 bits
    };
    EXPECT_EQ(TarnOperatingSystemVersion_MacOS_10_8, 1080);
    EXPECT_EQ(TarnOperatingSystemVersion_MacOS_10_15, 1150);
    for (const auto& [release, expected] : cases) {
        SystemRelease system(release);
        EXPECT_EQ(TarnOperatingSystemVersion_GetCurrent(), expected) << release;
    }
}

TEST(OSVersion, AFailedQueryZeroesTheWholeRecordAndStopsTheQueries) {
    LogCapture capture;
    const std::pair<const char*, const char*> cases[] = {
        {"linux", "gestaltSystemVersionMajor, &osVersionMajor"},
        {"6", "gestaltSystemVersionMinor, &osVersionMinor"},
        {"6.1", "gestaltSystemVersionBugFix, &osVersionPatch"},
    };
    for (const auto& [release, query] : cases) {
        SystemRelease system(release);
        TarnOperatingSystemVersion version{7, 7, 7};
        EXPECT_EQ(TarnOperatingSystemVersion_GetCoreFoundation(&version), 0) << release;
        EXPECT_TRUE(version == (TarnOperatingSystemVersion{0, 0, 0})) << release;
        const auto lines = capture.lines();
        ASSERT_EQ(lines.size(), 1u) << release;
        EXPECT_TRUE(std::regex_match(lines[0], std::regex(failedQuery(query)))) << lines[0];
    }
    SystemRelease system("6");
    EXPECT_EQ(TarnOperatingSystemVersion_GetCurrent(), 0);
    EXPECT_TRUE(TarnOperatingSystemVersion_GetCurrentStruct() == (TarnOperatingSystemVersion{0, 0, 0}));
    EXPECT_EQ(capture.lines().size(), 2u);  // nothing is cached: each call asks and reports again
}
