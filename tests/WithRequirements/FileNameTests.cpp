#include "WithRequirements/RequiredFileName.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(FileName, IsThePartAfterTheLastSlashOfTheLiteral) {
    static const char path[] = "/src/TarnFoundation/WithRequirements/RequiredOSVersion.cpp";
    EXPECT_EQ(__CFConstStaticJustFileNameASCII(path, sizeof path), path + 37);
    EXPECT_STREQ(__CFConstStaticJustFileNameASCII(path, sizeof path), "RequiredOSVersion.cpp");
    EXPECT_STREQ(REQUIRED_FILE_NAME, "FileNameTests.cpp");
    EXPECT_EQ(kPathSlashCharacter, 47);
}

TEST(FileName, BothHelpersAgreeOnEdgeCases) {
    struct Case {
        const char* path;
        std::size_t offset;  // of the expected result
    };
    const Case cases[] = {
        {"Plain.cpp", 0},      {"dir/", 4},  {"/", 1},       {"", 0},
        {"a//b", 3},           {"/tmp/Gr\xC3\xBC\xC3\x9F" "e.c", 5},
    };
    for (const Case& c : cases) {
        const std::size_t size = std::strlen(c.path) + 1;
        EXPECT_EQ(__CFConstStaticJustFileNameASCII(c.path, size), c.path + c.offset) << c.path;
        EXPECT_EQ(__CFConstStaticJustFileNameUTF8(c.path), c.path + c.offset) << c.path;
    }
    static const char path[] = "/a/b.c";
    EXPECT_EQ(__CFConstStaticJustFileNameASCII(path, 0), path);
    EXPECT_EQ(__CFConstStaticJustFileNameASCII(path, 3), path + 3);  // only "/a/" is scanned
    EXPECT_EQ(__CFConstStaticJustFileNameASCII(nullptr, 4), nullptr);
    EXPECT_EQ(__CFConstStaticJustFileNameUTF8(nullptr), nullptr);
}
