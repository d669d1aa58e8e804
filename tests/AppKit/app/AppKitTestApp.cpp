// An application on NSApplicationMain: its delegate reports what the main
// interface file made and ends the application from a timer.

#include "AppKit/Application.h"
#include "AppKit/Window.h"
#include "Foundation/RunLoop.h"
#include "Foundation/String.h"
#include "Foundation/Timer.h"

#include <cstdio>

using namespace platform;

namespace {

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class TestAppDelegate : public Object {
public:
    PLATFORM_CLASS_RECORD

    void awakeFromNib() { say(std::string("awakeFromNib window ") + (window ? "connected" : "missing")); }
    void applicationDidFinishLaunching(Object* sender) {
        say("launched by " + std::string(classNameOf(sender)) + ", window \"" + window->title()->text() + "\" " +
            (window->isVisible() ? "visible" : "hidden") + ", delegate " +
            (Application::sharedApplication()->delegate() == this ? "set" : "missing"));
        Ref<Timer> timer =
            Timer::scheduledTimerWithTimeInterval_target_selector_userInfo_repeats(0.05, this, "finish:", nullptr, false);
        RunLoop::currentRunLoop()->addTimer_forMode(timer.get(), NSRunLoopCommonModes);
    }
    void finish(Object*) {
        say("terminating");
        Application::sharedApplication()->terminate(this);
    }
    void applicationWillTerminate(Object*) { say("will terminate"); }

    Window* window = nullptr;
};

const Class TestAppDelegate::classRecord{
    "TestAppDelegate", &Object::classRecord, Class::factoryOf<TestAppDelegate>(),
    {{"awakeFromNib", method(&TestAppDelegate::awakeFromNib)},
     {"applicationDidFinishLaunching:", method(&TestAppDelegate::applicationDidFinishLaunching)},
     {"applicationWillTerminate:", method(&TestAppDelegate::applicationWillTerminate)},
     {"finish:", method(&TestAppDelegate::finish)}},
    {{"window", nullptr,
      [](Object& self, Object* value) { static_cast<TestAppDelegate&>(self).window = objectAs<Window>(value); }}}};

} // namespace

int main(int argc, char** argv) {
    const int status = NSApplicationMain(argc, argv);
    say("NSApplicationMain returned " + std::to_string(status));
    return status;
}
