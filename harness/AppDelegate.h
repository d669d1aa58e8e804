#pragma once

#include "AppKit/Window.h"
#include "objc/Object.h"

// The host application's delegate; everything it shows comes from its main
// interface file.
class AppDelegate final : public platform::Object {
public:
    PLATFORM_CLASS_RECORD

    // An outlet: a plain reference, not retained.
    platform::Window* window() const { return window_; }
    void setWindow(platform::Window* window) { window_ = window; }

    void applicationDidFinishLaunching(platform::Object* notification);

private:
    platform::Window* window_ = nullptr;
};
