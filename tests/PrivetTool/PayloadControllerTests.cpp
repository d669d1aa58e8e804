// The pane's payload controller: announcements, gating, record, refresh
// timer and teardown. Built for both flavours.

#include "PrivetTool/PrivetBundlePayloadController.h"

#include "CoreServices/MacErrors.h"
#include "Foundation/Exception.h"
#include "Foundation/FileManager.h"
#include "Foundation/Null.h"
#include "Foundation/Number.h"
#include "Foundation/RunLoop.h"
#include "objc/KeyValueObserving.h"
#include "support/PayloadBundles.h"
#include "WithRequirements/RequiredObjectiveC.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>


using namespace platform;
using testsupport::paneFolder;
using testsupport::writePayloadBundle;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kObservedKeys{"payloadInstalled",     "payloadInstalledAndUpToDate",
                                            "payloadInstalledLocation", "payloadInstalledLocationFolder",
                                            "payloadSystemSummary", "payloadSourceSummary",
                                            "FileName",             "SystemLocation",
                                            "bindingsRefresher"};

class Recorder final : public KeyValueObserver {
public:
    void observeWillChangeValueForKey(Object&, const std::string& key) override { events.push_back("will " + key); }
    void observeDidChangeValueForKey(Object&, const std::string& key) override { events.push_back("did " + key); }
    std::vector<std::string> events;
};

std::vector<std::string> kTick{
    "will payloadInstalledAndUpToDate", "will payloadSystemSummary", "will payloadSourceSummary",
    "will payloadInstalledLocation",    "will payloadInstalledLocationFolder", "will payloadInstalled",
    "did payloadInstalledAndUpToDate",  "did payloadSystemSummary",  "did payloadSourceSummary",
    "did payloadInstalledLocationFolder", "did payloadInstalledLocation", "did payloadInstalled"};

std::string text(const Ref<Object>& value) {
    const String* s = objectAs<String>(value.get());
    return s ? s->text() : "<absent>";
}

class PayloadController : public ::testing::Test {
protected:
    testsupport::ThrowawayMachine machine;
    FakeRunLoopClock clock;
    Ref<PrivetToolController> tool = make<PrivetToolController>();
    Ref<PrivetBundlePayloadController> controller = make<PrivetBundlePayloadController>();
    Recorder recorder;

    void SetUp() override {
        controller->setValue_forKey(make<String>("Cam.component").get(), "FileName");
        controller->setValue_forKey(make<String>("Library.QuickTime").get(), "SystemLocation");
        controller->setValue_forKey(tool.get(), "privetToolController");
        writePayloadBundle(paneFolder("Resources") / "Cam.component", {"Cam", "2.0", "com.fernhill.cam"});
    }
    void TearDown() override { stopObserving(); }

    void observe() {
        for (const std::string& key : kObservedKeys) controller->addObserver_forKeyPath(&recorder, key);
    }
    void stopObserving() {
        if (!controller) return;
        for (const std::string& key : kObservedKeys) controller->removeObserver_forKeyPath(&recorder, key);
    }
    void install() { writePayloadBundle(machine.library() / "QuickTime/Cam.component", {"Cam", "2.0", "com.fernhill.cam"}); }
    // Runs the main run loop for `seconds` of the fake clock.
    void runFor(double seconds) { RunLoop::currentRunLoop()->runUntilDate(RunLoop::now() + seconds); }
};

} // namespace

TEST_F(PayloadController, KeysAreReadFromTheInstallControllerEveryTime) {
    EXPECT_FALSE(controller->payloadInstalled());
    EXPECT_EQ(text(controller->valueForKey("payloadSystemSummary")), "NOT INSTALLED");
    EXPECT_EQ(text(controller->valueForKey("payloadSourceSummary")), "Cam 2.0");
    const std::string location = (machine.library() / "QuickTime/Cam.component").string();
    EXPECT_EQ(text(controller->valueForKey("payloadInstalledLocation")), location);
    EXPECT_EQ(text(controller->valueForKey("payloadInstalledLocationFolder")), (machine.library() / "QuickTime").string());
    install();
    EXPECT_TRUE(objectAs<Number>(controller->valueForKey("payloadInstalled").get())->boolValue());
    EXPECT_TRUE(objectAs<Number>(controller->valueForKey("payloadInstalledAndUpToDate").get())->boolValue());
    EXPECT_EQ(text(controller->valueForKey("payloadSystemSummary")), "Cam 2.0 (IS UP TO DATE)");
}

TEST_F(PayloadController, EveryTickAnnouncesAllSixKeysInItsOrders) {
    observe();
    controller->beginRefreshing();
    recorder.events.clear();
    runFor(2.5);
    std::vector<std::string> twoTicks = kTick;
    twoTicks.insert(twoTicks.end(), kTick.begin(), kTick.end());
    EXPECT_EQ(recorder.events, twoTicks);
}

TEST_F(PayloadController, InstallingAnnouncesInsideTheAutomaticPair) {
    install();  // already installed: nothing is started, the announcements are made all the same
    observe();
    controller->performSelector("installPayload:", nullptr);
    const std::vector<std::string> expected{"will payloadInstalled",           "will payloadInstalledAndUpToDate",
                                            "will payloadSystemSummary",       "did payloadInstalledAndUpToDate",
                                            "did payloadSystemSummary",        "did payloadInstalled"};
    EXPECT_EQ(recorder.events, expected);
    recorder.events.clear();
    controller->setValue_forKey(Number::numberWithBool(true).get(), "payloadInstalled");
    EXPECT_EQ(recorder.events, expected);
}

// The helper stands in for one whose authorization ended with `status`.
TEST_F(PayloadController, AFailedHelperIsExplainedUntilTheNextAction) {
    const auto helperEndingWith = [](int status) {
        const fs::path helper = paneFolder("Helpers") / "PrivetTool";
        testsupport::writeFile(helper, "#!/bin/sh\nexit " + std::to_string(status) + "\n");
        chmod(helper.c_str(), 0755);
    };
    Recorder outcome;
    controller->addObserver_forKeyPath(&outcome, "payloadActionOutcome");
    helperEndingWith(errAuthorizationInteractionNotAllowed & 0xff);
    controller->performSelector("installPayload:", nullptr);
    EXPECT_EQ(text(controller->valueForKey("payloadActionOutcome")),
              "Install did not complete: no authentication agent is running to ask for an administrator's password.");
    EXPECT_EQ(outcome.events, (std::vector<std::string>{"will payloadActionOutcome", "did payloadActionOutcome"}));
    // A signal, or a status no authorization gives: the helper itself is at fault.
    helperEndingWith(126);
    controller->performSelector("installPayload:", nullptr);
    EXPECT_EQ(text(controller->valueForKey("payloadActionOutcome")),
              "Install did not complete: the install helper is missing or broken (it ended with status 126).");
    // The next action clears it; one whose helper succeeds leaves nothing.
    helperEndingWith(0);
    controller->performSelector("installPayload:", nullptr);
    EXPECT_EQ(controller->valueForKey("payloadActionOutcome"), nullptr);
    helperEndingWith(errAuthorizationDenied & 0xff);
    controller->performSelector("installPayload:", nullptr);
    EXPECT_NE(text(controller->valueForKey("payloadActionOutcome")).find("administrator rights were refused"),
              std::string::npos);
    // Nothing to do starts no helper, and the last one's status tells nothing.
    install();
    controller->performSelector("installPayload:", nullptr);
    EXPECT_EQ(controller->valueForKey("payloadActionOutcome"), nullptr);
    controller->removeObserver_forKeyPath(&outcome, "payloadActionOutcome");
}

TEST_F(PayloadController, WithoutAnInstallControllerKeysAreAbsentButAnnouncementsAreMade) {
    controller->privetToolController = nullptr;
    EXPECT_EQ(controller->valueForKey("payloadSystemSummary"), nullptr);
    EXPECT_EQ(controller->valueForKey("payloadInstalledLocation"), nullptr);
    EXPECT_EQ(controller->valueForKey("payloadInstalledLocationFolder"), nullptr);
    EXPECT_FALSE(controller->payloadInstalled());
    EXPECT_FALSE(controller->payloadInstalledAndUpToDate());
    observe();
    controller->setPayloadInstalled(true);
    EXPECT_EQ(recorder.events.size(), 6u);
}

TEST_F(PayloadController, AnExceptionFromTheInstallControllerReachesTheCaller) {
    observe();  // no helper tool in the pane: the launch raises
    EXPECT_THROW(controller->installPayload(nullptr), RaisedException);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"will payloadInstalled", "will payloadInstalledAndUpToDate",
                                                         "will payloadSystemSummary", "did payloadInstalled"}));
}

TEST_F(PayloadController, TheRecordIsOneAddressHoldingThePropertiesStrings) {
    tagBundlePayload* record = controller->bundlePayload();
    EXPECT_EQ(record->FileName, controller->FileName());
    EXPECT_EQ(record->SystemLocation, controller->SystemLocation());
    controller->setFileName(make<String>("Other.plugin").get());
    EXPECT_NE(record->FileName, controller->FileName());  // stale until the next call
    EXPECT_EQ(controller->bundlePayload(), record);
    EXPECT_EQ(record->FileName->text(), "Other.plugin");
}

TEST_F(PayloadController, AStringGivenAsFileNameIsKeptAsTheBuildKeepsIt) {
    Ref<MutableString> name = make<MutableString>("Cam.component");
    controller->setFileName(name.get());
    name->appendString(make<String>(".old").get());
    if (kPrivetFlavour.copiesStrings) {
        EXPECT_NE(controller->FileName(), static_cast<String*>(name.get()));
        EXPECT_EQ(controller->FileName()->text(), "Cam.component");
    } else {
        EXPECT_EQ(controller->FileName(), name.get());  // shared
        EXPECT_EQ(controller->FileName()->text(), "Cam.component.old");
    }
}

TEST_F(PayloadController, BeginningTwiceKeepsOneTimerAndEndingWithoutOneDoesNothing) {
    controller->endRefreshing();
    EXPECT_EQ(controller->bindingsRefresher(), nullptr);
    controller->performSelector("awakeFromNib", nullptr);
    Ref<Timer> first(controller->bindingsRefresher());
    ASSERT_TRUE(first);
    EXPECT_DOUBLE_EQ(first->timeInterval(), 1.0);
    controller->beginRefreshing();
    EXPECT_EQ(controller->bindingsRefresher(), first.get());
}

TEST_F(PayloadController, ANewTimerTicksOneIntervalAfterItsOwnBeginning) {
    observe();
    controller->beginRefreshing();
    Ref<Timer> first(controller->bindingsRefresher());
    controller->endRefreshing();
    EXPECT_FALSE(first->isValid());
    clock.advance(0.5);
    const double restarted = RunLoop::now();
    controller->beginRefreshing();
    EXPECT_NE(controller->bindingsRefresher(), first.get());
    EXPECT_DOUBLE_EQ(controller->bindingsRefresher()->fireDate() - restarted, 1.0);
    recorder.events.clear();
    runFor(0.9);
    EXPECT_TRUE(recorder.events.empty());
    runFor(0.2);
    EXPECT_EQ(recorder.events, kTick);
}

TEST_F(PayloadController, TicksGoOnInsideANestedModalRun) {
    observe();
    controller->beginRefreshing();
    recorder.events.clear();
    const double until = RunLoop::now() + 3.5;
    while (RunLoop::now() < until) RunLoop::currentRunLoop()->runMode_beforeDate(NSModalPanelRunLoopMode, until);
    EXPECT_EQ(recorder.events.size(), 3 * kTick.size());
}

TEST_F(PayloadController, TeardownClearsTheStringsThenStopsRefreshing) {
    controller->beginRefreshing();
    Ref<Timer> timer(controller->bindingsRefresher());
    observe();
    controller = nullptr;  // the last owner lets go
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"will FileName", "did FileName", "will SystemLocation",
                                                         "did SystemLocation", "will bindingsRefresher",
                                                         "did bindingsRefresher"}));
    EXPECT_FALSE(timer->isValid());
}

TEST_F(PayloadController, DisableLP64CountsOnlyAsATrueNumberWhereTheFlavourHasTheGate) {
    EXPECT_TRUE(controller->architectureSupported());
    if (!kPrivetFlavour.hasArchitectureGate) {
        EXPECT_THROW(controller->valueForKey("disableLP64"), RaisedException);
        controller->setDisableLP64(Number::numberWithBool(true).get());
        EXPECT_TRUE(controller->architectureSupported());
        return;
    }
    controller->setDisableLP64(NSRequiredNotNSNullCachedValue);
    EXPECT_TRUE(controller->architectureSupported());
    controller->setDisableLP64(Null::null());
    EXPECT_TRUE(controller->architectureSupported());
    controller->setValue_forKey(make<String>("YES").get(), "disableLP64");
    EXPECT_TRUE(controller->architectureSupported());
    controller->setValue_forKey(Number::numberWithInteger(0).get(), "disableLP64");
    EXPECT_TRUE(controller->architectureSupported());
    controller->setValue_forKey(Number::numberWithInteger(1).get(), "disableLP64");
    EXPECT_FALSE(controller->architectureSupported());
    controller->setValue_forKey(Number::numberWithDouble(-2.5).get(), "disableLP64");
    EXPECT_FALSE(controller->architectureSupported());
}

TEST_F(PayloadController, AnUnsupportedPayloadIsQuietAndUntouchedWhereTheFlavourHasTheGate) {
    install();
    controller->setDisableLP64(Number::numberWithBool(true).get());
    if (!kPrivetFlavour.hasArchitectureGate) {
        // Nothing reads the number: the payload shows as it is.
        EXPECT_EQ(text(controller->valueForKey("payloadSourceSummary")), "Cam 2.0");
        EXPECT_EQ(text(controller->valueForKey("payloadInstalledLocation")),
                  (machine.library() / "QuickTime/Cam.component").string());
        return;
    }
    EXPECT_EQ(text(controller->valueForKey("payloadSystemSummary")), "");
    EXPECT_EQ(text(controller->valueForKey("payloadSourceSummary")), "");
    EXPECT_EQ(text(controller->valueForKey("payloadInstalledLocation")), "");
    EXPECT_EQ(text(controller->valueForKey("payloadInstalledLocationFolder")), "");
    EXPECT_FALSE(controller->payloadInstalledAndUpToDate());
    EXPECT_TRUE(controller->payloadInstalled());  // not gated

    observe();
    controller->installPayload(nullptr);
    controller->removePayload(nullptr);
    EXPECT_TRUE(recorder.events.empty());
    controller->setPayloadInstalled(false);  // only the automatic pair
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"will payloadInstalled", "did payloadInstalled"}));
    EXPECT_TRUE(fs::exists(machine.library() / "QuickTime/Cam.component"));

    recorder.events.clear();
    controller->beginRefreshing();  // refreshing, but every tick is silent
    recorder.events.clear();
    runFor(3.5);
    EXPECT_TRUE(recorder.events.empty());
    EXPECT_TRUE(controller->bindingsRefresher()->isValid());
}

namespace {
// Re-reads a key on every did-change announcement, as a bound control does.
class BoundValue final : public KeyValueObserver {
public:
    void observeDidChangeValueForKey(Object& object, const std::string& key) override {
        value = text(object.valueForKey(key));
    }
    std::string value;
};
} // namespace

// The real helper, as root in the sandbox: Install, then the refresh ticks
// bring the bound status to "(IS UP TO DATE)".
TEST(PayloadControllerInSandbox, InstallThenTicksUntilUpToDate) {
    if (getenv("PRIVET_TEST_SANDBOX") == nullptr || geteuid() != 0) GTEST_SKIP() << "runs as root in the sandbox";
    fs::copy_file(fs::path(PRODUCTS_DIR) / "KestrelInstallHelper", paneFolder("Helpers") / "PrivetTool");
    fs::copy_file(fs::path(PRODUCTS_DIR) / "privileged-launcher", paneFolder("Helpers") / "privileged-launcher");
    writePayloadBundle(paneFolder("Resources") / "Cam.component", {"Cam", "5.0", "com.fernhill.cam"});
    Ref<PrivetToolController> tool = make<PrivetToolController>();
    Ref<PrivetBundlePayloadController> controller = make<PrivetBundlePayloadController>();
    controller->setValue_forKey(make<String>("Cam.component").get(), "FileName");
    controller->setValue_forKey(make<String>("Library.QuickTime").get(), "SystemLocation");
    controller->setValue_forKey(tool.get(), "privetToolController");
    BoundValue status;
    controller->addObserver_forKeyPath(&status, "payloadSystemSummary");
    controller->performSelector("awakeFromNib", nullptr);

    controller->performSelector("installPayload:", nullptr);
    const double deadline = RunLoop::now() + 20;
    while (status.value != "Cam 5.0 (IS UP TO DATE)" && RunLoop::now() < deadline) {
        RunLoop::currentRunLoop()->runMode_beforeDate(NSDefaultRunLoopMode, deadline);
    }
    EXPECT_EQ(status.value, "Cam 5.0 (IS UP TO DATE)");
    EXPECT_TRUE(fs::exists("/Library/QuickTime/Cam.component/Contents/Info.plist"));

    controller->performSelector("removePayload:", nullptr);
    while (status.value != "NOT INSTALLED" && RunLoop::now() < deadline + 20) {
        RunLoop::currentRunLoop()->runMode_beforeDate(NSDefaultRunLoopMode, deadline + 20);
    }
    EXPECT_EQ(status.value, "NOT INSTALLED");
    controller->removeObserver_forKeyPath(&status, "payloadSystemSummary");
}
