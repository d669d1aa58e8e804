// Runs GUI tests offscreen, with the main run loop and main queue driven by
// the Qt event loop as in an application.

#include "AppKit/EventLoopBridge.h"
#include "objc/AutoreleasePool.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    platform::EventLoopBridge bridge;
    platform::AutoreleasePool pool;
    return RUN_ALL_TESTS();
}
