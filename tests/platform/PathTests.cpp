#include "Foundation/String.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {
std::string last(const char* path) { return make<String>(path)->lastPathComponent()->text(); }
std::string parent(const char* path) { return make<String>(path)->stringByDeletingLastPathComponent()->text(); }
std::string join(const char* head, const char* tail) {
    Ref<String> component = tail ? make<String>(tail) : nullptr;
    return make<String>(head)->stringByAppendingPathComponent(component.get())->text();
}
} // namespace

TEST(PathComponents, LastComponentDisregardsTrailingSlashes) {
    EXPECT_EQ(last("/Applications/X.app/Contents/Resources/Cam.plugin"), "Cam.plugin");
    EXPECT_EQ(last("/Applications/X.app/Contents/Resources/Cam.plugin/"), "Cam.plugin");
    EXPECT_EQ(last("Cam.plugin///"), "Cam.plugin");
    EXPECT_EQ(last("Cam.plugin"), "Cam.plugin");
    EXPECT_EQ(last("/"), "/");
    EXPECT_EQ(last("///"), "/");
    EXPECT_EQ(last(""), "");
    EXPECT_EQ(last("x/."), ".");
    EXPECT_EQ(last("x/.."), "..");
    EXPECT_EQ(last("/tmp/with blank/na\xC3\xAFve"), "na\xC3\xAFve");
}

TEST(PathComponents, AppendingJoinsWithExactlyOneSlash) {
    EXPECT_EQ(join("/tmp", "scratch.tiff"), "/tmp/scratch.tiff");
    EXPECT_EQ(join("/tmp/", "scratch.tiff"), "/tmp/scratch.tiff");
    EXPECT_EQ(join("/tmp", "/scratch.tiff"), "/tmp/scratch.tiff");
    EXPECT_EQ(join("/", "scratch.tiff"), "/scratch.tiff");
    EXPECT_EQ(join("", "scratch.tiff"), "scratch.tiff");
    EXPECT_EQ(join("/X.prefPane", "Contents"), "/X.prefPane/Contents");
    EXPECT_EQ(join("/tmp", "sub/dir/"), "/tmp/sub/dir");
    EXPECT_EQ(join("/tmp", ""), "/tmp");
    EXPECT_EQ(join("/tmp", nullptr), "/tmp");
}

TEST(PathComponents, DeletingLastComponentGivesTheParent) {
    EXPECT_EQ(parent("/Library/QuickTime/Cam.component"), "/Library/QuickTime");
    EXPECT_EQ(parent("/tmp/lock/"), "/tmp");
    EXPECT_EQ(parent("/tmp"), "/");
    EXPECT_EQ(parent("/"), "/");
    EXPECT_EQ(parent("scratch.tiff"), "");
    EXPECT_EQ(parent("folder/name"), "folder");
    EXPECT_EQ(parent("/Library/Graphics/Image Units/Blur.plugin"), "/Library/Graphics/Image Units");
}
