#include "LogCapture.h"

#include "CoreFoundation/CFBase.h"
#include "CoreServices/MacTypes.h"

extern "C" {
extern const int cClientStatusLine;
extern const int cClientPointerLine;
int cClientCheckStatus(OSStatus status);
int cClientCheckPointer(const void* pointer);
void cClientLog(int value);
}

using Lines = std::vector<std::string>;

TEST(CClient, ChecksYieldWhetherTheyHeldAndReportFailures) {
    LogCapture capture;
    int value = 0;
    EXPECT_EQ(cClientCheckStatus(0), 1);
    EXPECT_EQ(cClientCheckPointer(&value), 1);
    EXPECT_EQ(cClientCheckStatus(-50), 0);
    EXPECT_EQ(cClientCheckPointer(nullptr), 0);
    EXPECT_EQ(cClientCheckPointer(kCFNull), 0);
    char nullAddress[32];
    std::snprintf(nullAddress, sizeof nullAddress, "%08lx", reinterpret_cast<unsigned long>(kCFNull));
    const std::string status = std::to_string(cClientStatusLine);
    const std::string pointer = std::to_string(cClientPointerLine);
    EXPECT_EQ(capture.lines(),
              (Lines{"REQUIRED_OSSTATUS(-50) paramErr-'A parameter was missing or invalid.' - SRC>>status in "
                     "cClientCheckStatus:" + status + " (CClient.c)",
                     "REQUIRED_NOT_NULL 0x00000000==NULL : pointer in cClientCheckPointer LINE# " + pointer +
                         " (CClient.c)\n",
                     "REQUIRED_NOT_NULL 0x" + std::string(nullAddress) + "==NULL : pointer in cClientCheckPointer LINE# " +
                         pointer + " (CClient.c)\n"}));
}

TEST(CClient, LogsThroughTheQueue) {
    LogCapture capture;
    cClientLog(12);
    EXPECT_EQ(capture.lines(), (Lines{"from C 12", "required 12"}));
}
