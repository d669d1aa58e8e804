#include "Foundation/AssertionHandler.h"
#include "Foundation/Exception.h"
#include "Foundation/String.h"
#include "support/StderrCapture.h"

#include <gtest/gtest.h>

#include <regex>
#include <vector>

using namespace platform;

namespace {

class Refresher : public Object {
public:
    PLATFORM_CLASS_RECORD
};
const Class Refresher::classRecord{"AssertionTestsRefresher", &Object::classRecord};

// Keeps each failure and returns, so the caller goes on.
class RecordingHandler : public AssertionHandler {
public:
    struct Failure {
        std::string method;
        const Object* object;
        const Class* receiverClass;
        std::string file;
        long line;
        std::string description;
    };

    void handleFailureInMethod_object_file_lineNumber_description(std::string_view method, AssertionReceiver object,
                                                                  const String* file, long line,
                                                                  const String* description) override {
        failures.push_back({std::string(method), object.object(), object.receiverClass(), file->text(), line,
                            description->text()});
    }

    std::vector<Failure> failures;
};

// Puts a handler in place for one test.
class HandlerInPlace {
public:
    explicit HandlerInPlace(Ref<AssertionHandler> handler)
        : previous_(AssertionHandler::setCurrentHandler(std::move(handler))) {}
    ~HandlerInPlace() { AssertionHandler::setCurrentHandler(previous_); }

private:
    Ref<AssertionHandler> previous_;
};

const std::string kLogPrefix = R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3} platform_tests\[\d+:\d+\] )";

// What the handler in place logs and raises for one failure.
std::string failAndLog(AssertionReceiver object, std::string* reason) {
    testsupport::StderrCapture capture;
    try {
        AssertionHandler::currentHandler()->handleFailureInMethod_object_file_lineNumber_description(
            "beginRefreshing", object, make<String>("Timers/Refresher").get(), 158,
            make<String>("Failed to create the timer").get());
        ADD_FAILURE() << "the default handler returned";
    } catch (const RaisedException& raised) {
        EXPECT_TRUE(raised.name()->isEqualToString(NSInternalInconsistencyException));
        *reason = raised.reason()->text();
    }
    return capture.finish();
}

} // namespace

TEST(DefaultAssertionHandler, LogsTheFailedMethodAndRaises) {
    Ref<Refresher> refresher = make<Refresher>();
    std::string reason;
    EXPECT_TRUE(std::regex_match(failAndLog(refresher.get(), &reason),
                                 std::regex(kLogPrefix + R"(\*\*\* Assertion failure in -\[AssertionTestsRefresher )"
                                                         R"(beginRefreshing\], Timers/Refresher:158\n)")));
    EXPECT_EQ(reason, "Failed to create the timer");

    EXPECT_TRUE(std::regex_search(failAndLog(Refresher::classRecord, &reason),
                                  std::regex(R"(\+\[AssertionTestsRefresher beginRefreshing\], )")));
    EXPECT_TRUE(std::regex_search(failAndLog(nullptr, &reason), std::regex(R"(-\[\(nil\) beginRefreshing\], )")));
}

TEST(AssertionHandlerInPlace, CanBeReplacedByOneThatReturns) {
    Ref<RecordingHandler> recorder = make<RecordingHandler>();
    Ref<AssertionHandler> original = AssertionHandler::currentHandler();
    {
        HandlerInPlace inPlace(recorder);
        EXPECT_EQ(AssertionHandler::currentHandler().get(), recorder.get());
        Ref<Refresher> refresher = make<Refresher>();
        AssertionHandler::currentHandler()->handleFailureInMethod_object_file_lineNumber_description(
            "didSelect", refresher.get(), make<String>("Pane/Pane").get(), 12, make<String>("not connected").get());
        AssertionHandler::currentHandler()->handleFailureInMethod_object_file_lineNumber_description(
            "payloadBundle", Refresher::classRecord, make<String>("Tool/Const").get(), 45, make<String>("no bundle").get());

        ASSERT_EQ(recorder->failures.size(), 2u);
        const RecordingHandler::Failure& first = recorder->failures[0];
        EXPECT_EQ(first.method, "didSelect");
        EXPECT_EQ(first.object, refresher.get());
        EXPECT_EQ(first.file, "Pane/Pane");
        EXPECT_EQ(first.line, 12);
        EXPECT_EQ(first.description, "not connected");
        EXPECT_EQ(recorder->failures[1].object, nullptr);
        EXPECT_EQ(recorder->failures[1].receiverClass, &Refresher::classRecord);
    }
    EXPECT_EQ(AssertionHandler::currentHandler().get(), original.get());

    Ref<AssertionHandler> replaced = AssertionHandler::setCurrentHandler(recorder);
    EXPECT_EQ(AssertionHandler::setCurrentHandler(nullptr).get(), recorder.get());
    EXPECT_EQ(AssertionHandler::currentHandler().get(), replaced.get());  // null puts the default back
}
