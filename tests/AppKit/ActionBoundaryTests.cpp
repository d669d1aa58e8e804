// Exceptions that escape actions, write-backs and key reads: logged, shown
// (or not), and the application goes on.

#include "AppKit/Button.h"
#include "AppKit/NibLoader.h"
#include "AppKit/TextField.h"
#include "Foundation/Exception.h"
#include "Foundation/Number.h"
#include "Foundation/RunLoop.h"
#include "Foundation/Timer.h"
#include "objc/KeyValueObserving.h"
#include "support/GuiTest.h"
#include "support/StderrCapture.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace platform;

namespace {

class Target : public Object {
public:
    PLATFORM_CLASS_RECORD

    void installPayload(Object*) {
        Exception::raise(NSInvalidArgumentException, make<String>("launch path not accessible"));
    }
    void count(Object*) { ++counted; }
    bool flag() const { return false; }
    void setFlag(bool) { throw std::runtime_error("flag refused"); }
    Ref<String> broken() {
        if (breakReads) Exception::raise(NSInternalInconsistencyException, make<String>("cannot read"));
        return make<String>("fine");
    }

    int counted = 0;
    bool breakReads = false;
};

const Class Target::classRecord{
    "ActionBoundaryTarget", &Object::classRecord, Class::factoryOf<Target>(),
    {{"installPayload:", method(&Target::installPayload)}, {"count:", method(&Target::count)}},
    {{"flag", getter(&Target::flag), setter(&Target::setFlag)}, {"broken", getter(&Target::broken), nullptr}}};

const char* const kInterface = R"(
    NSButton install {
        action installPayload: -> target
    }
    NSButton other {
        action count: -> target
    }
    NSButton flag {
        buttonType = "switch"
        bind value -> target.flag
        action count: -> target
    }
    NSTextField text {
        bind value -> target.broken
    }
    ActionBoundaryTarget target
)";

QAbstractButton* buttonNamed(const LoadedNib& nib, const char* name) {
    return static_cast<QAbstractButton*>(objectAs<Button>(nib.objectNamed(name))->widget());
}

} // namespace

TEST(ActionBoundary, AnExceptionFromAnActionIsLoggedAndShownAndTheApplicationGoesOn) {
    testsupport::AlertRecorder alerts;
    NibLoader::Result result = NibLoader(nullptr).loadText(kInterface, "Actions.nib", nullptr);
    ASSERT_TRUE(result) << result.error->text();
    auto* target = objectAs<Target>(result.nib->objectNamed("target"));

    testsupport::StderrCapture capture;
    buttonNamed(*result.nib, "install")->click();
    const std::string log = capture.finish();
    EXPECT_NE(log.find("*** installPayload: raised NSInvalidArgumentException: launch path not accessible"),
              std::string::npos) << log;
    ASSERT_EQ(alerts.texts.size(), 1u);
    EXPECT_EQ(alerts.texts[0], "The action \"installPayload:\" could not be completed. | "
                               "launch path not accessible (NSInvalidArgumentException)");

    // Other controls and the timers still work.
    buttonNamed(*result.nib, "other")->click();
    EXPECT_EQ(target->counted, 1);
    Ref<Timer> timer = Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(0.01, target, "count:", nullptr, false);
    EXPECT_TRUE(testsupport::runEventsUntil([&] { return target->counted == 2; }));
}

TEST(ActionBoundary, ARefusedWriteBackIsShownAndTheCheckboxShowsTheKeyAgain) {
    testsupport::AlertRecorder alerts;
    NibLoader::Result result = NibLoader(nullptr).loadText(kInterface, "Actions.nib", nullptr);
    ASSERT_TRUE(result) << result.error->text();
    testsupport::StderrCapture capture;
    QAbstractButton* flag = buttonNamed(*result.nib, "flag");
    flag->click();
    capture.finish();
    EXPECT_FALSE(flag->isChecked());  // read back from the key
    ASSERT_EQ(alerts.texts.size(), 1u);
    EXPECT_NE(alerts.texts[0].find("flag refused (C++ exception)"), std::string::npos);
    EXPECT_EQ(objectAs<Target>(result.nib->objectNamed("target"))->counted, 1);  // the action is still sent
}

TEST(ActionBoundary, AKeyThatCannotBeReadIsLoggedWithoutAnAlertAndLeavesTheControlAsItWas) {
    testsupport::AlertRecorder alerts;
    NibLoader::Result result = NibLoader(nullptr).loadText(kInterface, "Actions.nib", nullptr);
    ASSERT_TRUE(result) << result.error->text();
    auto* target = objectAs<Target>(result.nib->objectNamed("target"));
    auto* field = static_cast<QLineEdit*>(objectAs<TextField>(result.nib->objectNamed("text"))->widget());
    EXPECT_EQ(field->text(), "fine");
    target->breakReads = true;
    testsupport::StderrCapture capture;
    target->didChangeValueForKey("broken");
    EXPECT_NE(capture.finish().find("raised NSInternalInconsistencyException: cannot read"), std::string::npos);
    EXPECT_EQ(field->text(), "fine");
    EXPECT_TRUE(alerts.texts.empty());
}
