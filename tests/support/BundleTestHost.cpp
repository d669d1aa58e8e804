// Runs the tests that live in a loadable image (TEST_IMAGE) from inside a
// pane bundle: the image is copied into a new temporary
// TestPane.prefPane/Contents/Linux/ and loaded, so that the code under test
// finds that folder as its bundle.

#include "support/BundleTestHost.h"
#include "support/TempDir.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {
std::string paneBundlePath;
}

const std::string& testPaneBundlePath() { return paneBundlePath; }

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    testsupport::TempDir dir;
    const fs::path pane = dir.path() / "TestPane.prefPane";
    paneBundlePath = pane.string();
    for (const char* folder : {"Linux", "Resources", "PlugIns", "Helpers"}) fs::create_directories(pane / "Contents" / folder);
    testsupport::writeFile(pane / "Contents/Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                           "<key>CFBundleIdentifier</key><string>com.fernhill.TestPane</string>"
                           "<key>CFBundleName</key><string>TestPane</string>"
                           "<key>CFBundleExecutable</key><string>TestPane.so</string></dict></plist>\n");
    const fs::path image = pane / "Contents/Linux/TestPane.so";
    fs::copy_file(TEST_IMAGE, image);
    if (dlopen(image.c_str(), RTLD_NOW | RTLD_LOCAL) == nullptr) {
        std::fprintf(stderr, "%s: %s\n", argv[0], dlerror());
        return 1;
    }
    // The image stays loaded: the test registry points into it.
    return RUN_ALL_TESTS();
}
