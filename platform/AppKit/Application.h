#pragma once

#include "objc/Object.h"

namespace platform {

// The application object: its delegate and its event loop.
class Application : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSApplication"

    // The shared application: the one NSApplicationMain made, else a plain
    // one made on first use.
    static Application* sharedApplication();

    // An outlet: not retained.
    Object* delegate() const { return delegate_; }
    void setDelegate(Object* delegate) { delegate_ = delegate; }

    // Runs the Qt event loop until terminate: or the last window closes;
    // returns the loop's exit status. Needs a QApplication.
    int run();
    // Ends the event loop that run started; the sender is ignored.
    void terminate(Object* sender);

private:
    friend int NSApplicationMain(int argc, char** argv);
    static void setShared(Ref<Application> application);

    Object* delegate_ = nullptr;
};

// The application's entry: makes the QApplication and the shared application
// (the main bundle's NSPrincipalClass when it names a subclass), loads the
// interface file that NSMainNibFile names from the main bundle's resources
// with the application as File's Owner, shows its windows, sends
// applicationDidFinishLaunching: to the delegate, runs the event loop and
// returns its exit status. Returns 1 after logging why when the interface
// cannot be loaded.
int NSApplicationMain(int argc, char** argv);

} // namespace platform
