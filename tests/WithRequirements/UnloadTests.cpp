// Its own program: after unload the process has no log queue.

#include "LogCapture.h"

#include "WithRequirements/RequiredCoreLog.h"
#include "WithRequirements/RequiredCoreLogTesting.h"

#include "Foundation/String.h"

using namespace platform;

TEST(Unload, DropsLaterLinesAndLetsPendingOnesRun) {
    LogCapture capture;
    capture.holdWrites();
    const auto pending = make<String>("pending");
    const auto dropped = make<String>("dropped");
    __CFLogStringRefOnQueue(pending.get());
    EXPECT_EQ(pending->retainCount(), 2);  // held by the queue

    RequiredCoreLogUnloadForTesting();
    __CFLogStringRefOnQueue(dropped.get());
    __CFLogShowTypeRef(dropped.get());
    __CFRequiredPrintf("dropped too");
    EXPECT_EQ(dropped->retainCount(), 1);  // nothing was queued

    capture.releaseWrites();
    EXPECT_EQ(capture.waitForLines(1), std::vector<std::string>{"pending"});
    RequiredCoreLogUnloadForTesting();  // a second unload does nothing
}
