#include "CoreServices/Gestalt.h"
#include "CoreServices/MacErrors.h"
#include "CoreServices/OSStatusStrings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Gestalt's three answers for a release, -1 for a failed query.
std::string versionOf(const char* release) {
    platform::setSystemReleaseForTesting(release);
    std::string answers;
    for (OSType selector : {gestaltSystemVersionMajor, gestaltSystemVersionMinor, gestaltSystemVersionBugFix}) {
        SInt32 value = -1;
        const OSErr status = Gestalt(selector, &value);
        EXPECT_TRUE(status == noErr || (status == gestaltUnknownErr && value == -1)) << release;
        answers += (answers.empty() ? "" : " ") + std::to_string(value);
    }
    platform::setSystemReleaseForTesting(nullptr);
    return answers;
}

} // namespace

TEST(StatusTexts, NameAndExplainKnownCodes) {
    EXPECT_STREQ(GetMacOSStatusErrorString(-60033), "errAuthorizationBadAddress");
    EXPECT_STREQ(GetMacOSStatusCommentString(errAuthorizationCanceled), "The user canceled the authorization.");
    for (OSStatus unknown : {1, -1, -60012, -60030, -60034}) {
        EXPECT_STREQ(GetMacOSStatusErrorString(unknown), "unknown") << unknown;
        EXPECT_STREQ(GetMacOSStatusCommentString(unknown), "No description is known for this status.") << unknown;
    }
}

TEST(Gestalt, ReadsTheLeadingNumbersOfTheRelease) {
    EXPECT_EQ(versionOf("6.1.0-18-amd64"), "6 1 0");
    EXPECT_EQ(versionOf("5.15.123+rt"), "5 15 123");
    EXPECT_EQ(versionOf("5.15"), "5 15 -1");
    EXPECT_EQ(versionOf("6.x.1"), "6 -1 -1");
    EXPECT_EQ(versionOf(""), "-1 -1 -1");
    EXPECT_EQ(versionOf("99999999999.1.1"), "-1 -1 -1");
}

TEST(Gestalt, RefusesOtherSelectorsAndAMissingResponse) {
    SInt32 value = 0;
    EXPECT_EQ(Gestalt(OS_FOUR_CHAR_CODE('s', 'y', 's', 'v'), &value), gestaltUndefSelectorErr);
    EXPECT_EQ(Gestalt(gestaltSystemVersionMajor, nullptr), paramErr);
    EXPECT_EQ(Gestalt(gestaltSystemVersionMajor, &value), noErr);
    EXPECT_GT(value, 0);
}
