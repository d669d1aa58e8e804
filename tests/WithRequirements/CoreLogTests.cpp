#include "LogCapture.h"

#include "WithRequirements/RequiredCoreLog.h"

#include "CoreFoundation/CFString.h"
#include "Foundation/Exception.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"
#include "support/StderrCapture.h"

#include <syslog.h>

#include <atomic>
#include <future>
#include <regex>
#include <sstream>
#include <thread>

using namespace platform;
using Lines = std::vector<std::string>;

namespace {

// Records where and how often its description is made.
class Probe : public Object {
public:
    PLATFORM_CLASS_RECORD

    Ref<String> description() const override {
        ++descriptions;
        describedOn = std::this_thread::get_id();
        if (raises) Exception::raise(NSInternalInconsistencyException, make<String>("no description"));
        return make<String>("<probe>");
    }

    mutable std::atomic<int> descriptions{0};
    mutable std::thread::id describedOn;
    bool raises = false;
};
const Class Probe::classRecord{"CoreLogTestsProbe", &Object::classRecord};

// Shows itself while it is being destroyed, with no owner left.
class DyingProbe : public Object {
public:
    static inline std::atomic<int> descriptions{0};
    ~DyingProbe() override { __CFLogShowTypeRef(this); }
    Ref<String> description() const override {
        ++descriptions;
        return make<String>("<dying>");
    }
};

// Returns once the queue has written everything submitted before: the last
// step releases a marker, which is then destroyed on the queue.
void waitUntilWritten() {
    class Marker : public Object {
    public:
        explicit Marker(std::shared_ptr<std::promise<void>> gone) : gone_(std::move(gone)) {}
        ~Marker() override { gone_->set_value(); }

    private:
        std::shared_ptr<std::promise<void>> gone_;
    };
    auto gone = std::make_shared<std::promise<void>>();
    std::future<void> done = gone->get_future();
    __CFLogShowTypeRef(make<Marker>(gone).get());
    done.wait();
}

} // namespace

TEST(LogQueue, FormatsPrintfConversionsAndObjectsIntoOneLine) {
    LogCapture capture;
    __CFLogPrintf(CFSTR("%s=%d %@ 0x%08lx"), "count", -3, CFSTR("Cam.plugin"), 0xbeefUL);
    __CFNSLog(CFSTR("%5.1f|%@"), 2.25, nullptr);
    __CFRequiredPrintf("Gr\xC3\xBC\xC3\x9F" "e %u", 7u);
    __CFRequiredLogPrintf("PREFIX 100%%", "value=%d", 5);
    __CFRequiredLogString("/Library/100%/x", "%s%@%n");
    EXPECT_EQ(capture.lines(), (Lines{"count=-3 Cam.plugin 0x0000beef", "  2.2|(null)", "Gr\xC3\xBC\xC3\x9F" "e 7",
                                      "PREFIX 100% value=5", "/Library/100%/x:%s%@%n"}));
}

TEST(LogQueue, WritesAQueuedLineVerbatimAndReleasesItAfterwards) {
    LogCapture capture;
    CFStringRef line = CFStringCreateWithCString(kCFAllocatorDefault, "/Volumes/100% sure/%@ %s %n", kCFStringEncodingUTF8);
    __CFLogStringRefOnQueue(line);
    EXPECT_EQ(capture.lines(), Lines{"/Volumes/100% sure/%@ %s %n"});
    EXPECT_EQ(CFGetRetainCount(line), 1);
    CFRelease(line);
}

TEST(LogQueue, WritesLinesAndDescriptionsToTheSystemLogAsTheyStand) {
    waitUntilWritten();
    testsupport::StderrCapture capture;
    __CFLogStringRefOnQueue(CFSTR("/Volumes/100% sure/%@ %s %n"));
    __CFLogShowTypeRef(make<Probe>().get());
    waitUntilWritten();
    const std::string prefix = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} with_requirements_tests\[\d+:\d+\] )";
    const std::string output = capture.finish();
    EXPECT_TRUE(std::regex_match(output, std::regex(prefix + R"(/Volumes/100% sure/%@ %s %n\n)" + prefix +
                                                    R"(<probe>\n)" + prefix + R"(<NSObject: 0x[0-9a-f]+>\n)")))
        << output;
}

TEST(LogQueue, QueuesAMutableLineAsItReadsWhenQueued) {
    LogCapture capture;
    capture.holdWrites();
    __CFRequiredPrintf("held");
    const auto line = make<MutableString>("as queued");
    __CFLogStringRefOnQueue(line.get());
    line->setString(CFSTR("changed later"));
    capture.releaseWrites();
    EXPECT_EQ(capture.lines(), (Lines{"held", "as queued"}));
}

TEST(LoadSteps, OpenTheSystemLogUnderTheLibrarysIdentity) {
    waitUntilWritten();
    testsupport::StderrCapture capture;
    syslog(LOG_NOTICE, "%s", "identity probe");
    const std::string output = capture.finish();
    EXPECT_TRUE(std::regex_match(output, std::regex(R"(RequiredPOSIX\[\d+\]: identity probe\n)"))) << output;
}

TEST(LogQueue, RefusedArgumentsWriteNothing) {
    LogCapture capture;
    const auto notAString = Number::numberWithInteger(1);
    const char* nullText = nullptr;
    const auto* cfNullText = reinterpret_cast<const char*>(kCFNull);
    __CFLogStringRefOnQueue(nullptr);
    __CFLogStringRefOnQueue(reinterpret_cast<CFStringRef>(kCFNull));
    __CFLogStringRefOnQueue(reinterpret_cast<CFStringRef>(notAString.get()));
    __CFLogPrintf(nullptr);
    __CFLogPrintf(reinterpret_cast<CFStringRef>(kCFNull), 1);
    __CFNSLog(reinterpret_cast<CFStringRef>(notAString.get()));
    __CFLogPrintf(CFSTR("broken %y"), 1);
    __CFLogPrintf(CFSTR("trailing %"));
    __CFRequiredPrintf(nullText);
    __CFRequiredPrintf(cfNullText);
    __CFRequiredPrintf("not UTF-8 \xC3\x28");
    __CFRequiredLogPrintf(nullText, "x");
    __CFRequiredLogPrintf("x", cfNullText);
    __CFRequiredLogString("first", nullText);
    __CFRequiredLogString(cfNullText, "second");
    __CFLogError(nullptr, nullptr);
    __CFLogError(nullptr, reinterpret_cast<CFStringRef>(kCFNull));
    EXPECT_EQ(capture.lines(), Lines{});
}

TEST(LogQueue, AnObjectWhoseDescriptionRaisesWritesNothing) {
    LogCapture capture;
    const auto probe = make<Probe>();
    probe->raises = true;
    const RequiredSourceLocation location{"main", "Tool.cpp", 4, "probe"};
    __CFLogPrintf(CFSTR("%@"), probe.get());
    __CFLogError(&location, CFSTR("message %@"), probe.get());
    EXPECT_EQ(capture.lines(), Lines{});
    EXPECT_EQ(probe->descriptions, 2);
}

TEST(LogError, AppendsTheLocationWithEmptySlotsForMissingTexts) {
    LogCapture capture;
    const RequiredSourceLocation full{"-[Pane install:]", "Pane.cpp", 128, "status == 0"};
    const RequiredSourceLocation empty{nullptr, nullptr, 7, nullptr};
    __CFLogError(&full, CFSTR("FAILED %d%%"), 5);
    __CFLogError(&empty, CFSTR("message"));
    __CFLogError(nullptr, CFSTR("no location %s"), "at all");
    EXPECT_EQ(capture.lines(), (Lines{"FAILED 5% - status == 0 in -[Pane install:]:128 (Pane.cpp)",
                                      "message -  in :7 ()", "no location at all -  in : ()"}));
}

TEST(ShowTypeRef, WritesTheDescriptionOnTheQueueWithoutTheHook) {
    LogCapture capture;
    Probe* probe = new Probe;
    __CFLogShowTypeRef(probe);
    probe->retain();
    probe->release();
    probe->release();  // the queue's own reference keeps it alive until written
    __CFLogShowTypeRef(nullptr);
    __CFLogShowTypeRef(kCFNull);
    EXPECT_EQ(capture.lines(), Lines{});

    auto kept = make<Probe>();
    __CFLogShowTypeRef(kept.get());
    capture.lines();
    EXPECT_EQ(kept->descriptions, 1);
    EXPECT_NE(kept->describedOn, std::this_thread::get_id());
    EXPECT_EQ(kept->retainCount(), 1);
}

TEST(ShowTypeRef, IgnoresAnObjectWithoutOwners) {
    LogCapture capture;
    make<DyingProbe>();
    capture.lines();
    EXPECT_EQ(DyingProbe::descriptions, 0);
}

TEST(LogOrder, CallersReturnBeforeTheirLinesAreWrittenAndLinesKeepTheirOrder) {
    LogCapture capture;
    capture.holdWrites();
    const auto probe = make<Probe>();
    __CFLogPrintf(CFSTR("first %@"), probe.get());
    __CFLogPrintf(CFSTR("second"));
    // Both calls returned while the first line is still held in the hook.
    EXPECT_EQ(capture.waitForLines(1), Lines{"first <probe>"});
    EXPECT_EQ(probe->describedOn, std::this_thread::get_id());
    capture.releaseWrites();
    EXPECT_EQ(capture.lines(), (Lines{"first <probe>", "second"}));
}

// Lines reach the hook one by one and standard error in batches: both see
// every line whole and each thread's lines in its order.
TEST(LogOrder, EachThreadsLinesComeOutWholeAndInItsOrder) {
    waitUntilWritten();
    testsupport::StderrCapture standardError;
    LogCapture capture;
    constexpr int kThreads = 4;
    constexpr int kLines = 2000;
    const std::string longText(100000, 'x');  // longer than a batch
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &longText] {
            for (int n = 0; n < kLines; ++n) __CFRequiredPrintf("%d %d %s", t, n, n == kLines / 2 ? longText.c_str() : "");
        });
    }
    for (std::thread& thread : threads) thread.join();
    const Lines hooked = capture.lines();
    waitUntilWritten();
    const std::string written = standardError.finish();

    const std::regex prefix(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} with_requirements_tests\[\d+:\d+\] )");
    Lines lines;
    std::istringstream stream(written);
    for (std::string line; std::getline(stream, line);) {
        std::smatch match;
        ASSERT_TRUE(std::regex_search(line, match, prefix) && match.position(0) == 0) << line.substr(0, 200);
        std::string text = match.suffix();
        if (text.rfind("capture-sentinel-", 0) != 0 && text.rfind("<NSObject", 0) != 0) lines.push_back(std::move(text));
    }
    for (const Lines& seen : {hooked, lines}) {
        ASSERT_EQ(seen.size(), std::size_t{kThreads * kLines});
        int next[kThreads] = {};
        for (const std::string& line : seen) {
            int t = -1, n = -1;
            ASSERT_EQ(std::sscanf(line.c_str(), "%d %d", &t, &n), 2) << line.substr(0, 200);
            ASSERT_TRUE(t >= 0 && t < kThreads) << line.substr(0, 200);
            EXPECT_EQ(n, next[t]++) << line.substr(0, 200);
            EXPECT_EQ(line.size(), n == kLines / 2 ? std::to_string(t).size() + std::to_string(n).size() + 2 + longText.size()
                                                   : std::to_string(t).size() + std::to_string(n).size() + 2);
        }
    }
}
