#include "Foundation/Bundle.h"
#include "Foundation/Dictionary.h"
#include "Foundation/Number.h"
#include "Foundation/String.h"
#include "support/PropertyListText.h"
#include "support/TempDir.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

using namespace platform;
using testsupport::TempDir;
using testsupport::xmlPropertyList;
namespace fs = std::filesystem;

namespace {

const std::string kInfo = xmlPropertyList(
    "<dict>"
    "<key>CFBundleIdentifier</key><string>com.example.cam</string>"
    "<key>CFBundleName</key><string>Cam</string>"
    "<key>CFBundleVersion</key><string>2.1</string>"
    "<key>CFBundleExecutable</key><string>Cam.so</string>"
    "</dict>");

Ref<Bundle> open(const std::string& path) { return Bundle::bundleWithPath(make<String>(path).get()); }

std::string text(const String* string) { return string ? string->text() : "(null)"; }

std::string realPath(const fs::path& path) { return fs::canonical(path).string(); }

// Standard output of a program started with the given argv[0].
std::string run(const std::string& program, const char* name) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, channel[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, channel[0]);
    char* const arguments[] = {const_cast<char*>(name), nullptr};
    pid_t child = -1;
    const int started = posix_spawn(&child, program.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(channel[1]);
    std::string output;
    char buffer[512];
    for (ssize_t got; (got = read(channel[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<std::size_t>(got));
    close(channel[0]);
    if (started == 0) waitpid(child, nullptr, 0);
    return output;
}

} // namespace

TEST(BundleWithPath, RefusesWhatIsNotAReadableFolder) {
    TempDir dir;
    testsupport::writeFile(dir / "Cam.component", "a plain file");
    fs::create_directory(dir / "Real.bundle");
    fs::create_directory_symlink(dir / "Real.bundle", dir / "Link.bundle");

    EXPECT_FALSE(Bundle::bundleWithPath(nullptr));
    EXPECT_FALSE(open(""));
    EXPECT_FALSE(open(dir / "missing"));
    EXPECT_FALSE(open(dir / "Cam.component"));
    EXPECT_FALSE(Bundle::bundleWithPath(make<String>(std::string(dir / "Real.bundle") + '\0' + "x").get()));
    ASSERT_TRUE(open(dir / "Link.bundle"));
    EXPECT_EQ(text(open(dir / "Link.bundle")->bundlePath()), dir / "Link.bundle");

    if (geteuid() != 0) {  // the superuser reads every folder
        fs::create_directory(dir / "Closed.bundle");
        chmod((dir / "Closed.bundle").c_str(), 0);
        EXPECT_FALSE(open(dir / "Closed.bundle"));
        chmod((dir / "Closed.bundle").c_str(), 0700);
    }
}

TEST(BundleWithPath, AFolderWithoutInformationIsABundleWithNoIdentifier) {
    TempDir dir;
    fs::create_directories(dir / "Cam.plugin/Contents/Resources");
    Ref<Bundle> bundle = open(dir / "Cam.plugin/");
    ASSERT_TRUE(bundle);
    EXPECT_EQ(text(bundle->bundlePath()), dir / "Cam.plugin");
    ASSERT_NE(bundle->infoDictionary(), nullptr);
    EXPECT_EQ(bundle->infoDictionary()->count(), 0u);
    EXPECT_EQ(bundle->bundleIdentifier(), nullptr);
    EXPECT_EQ(bundle->executablePath(), nullptr);
    EXPECT_EQ(bundle->description()->text(), "NSBundle <" + (dir / "Cam.plugin") + ">");

    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    Ref<Bundle> relative = open("Cam.plugin");
    fs::current_path(before);
    ASSERT_TRUE(relative);
    EXPECT_EQ(text(relative->bundlePath()), dir / "Cam.plugin");
}

TEST(BundleInformation, IsReadFromXmlAndBinaryInfoPlistWithItsTypes) {
    TempDir dir;
    const std::string numbers = xmlPropertyList(
        "<dict><key>CFBundleIdentifier</key><integer>12</integer>"
        "<key>CFBundleVersion</key><integer>7</integer></dict>");
    testsupport::writeFile(dir / "Xml.bundle/Contents/Info.plist", kInfo);
    testsupport::writeFile(dir / "Binary.bundle/Contents/Info.plist", testsupport::binaryPropertyList(kInfo));
    testsupport::writeFile(dir / "Numbers.bundle/Contents/Info.plist", testsupport::binaryPropertyList(numbers));

    for (const char* name : {"Xml.bundle", "Binary.bundle"}) {
        Ref<Bundle> bundle = open(dir / name);
        ASSERT_TRUE(bundle) << name;
        EXPECT_EQ(text(bundle->bundleIdentifier()), "com.example.cam");
        EXPECT_EQ(text(objectAs<String>(bundle->infoDictionary()->objectForKey(kCFBundleNameKey))), "Cam");
        EXPECT_EQ(text(objectAs<String>(bundle->objectForInfoDictionaryKey(kCFBundleVersionKey))), "2.1");
    }

    Ref<Bundle> numbered = open(dir / "Numbers.bundle");
    EXPECT_EQ(numbered->bundleIdentifier(), nullptr);  // only a string is an identifier
    const Number* version = objectAs<Number>(numbered->objectForInfoDictionaryKey(kCFBundleVersionKey));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->description()->text(), "7");
}

TEST(BundleInformation, IsEmptyWhenInfoPlistCannotBeUsed) {
    TempDir dir;
    const std::string binary = testsupport::binaryPropertyList(kInfo);
    const std::pair<const char*, std::string> cases[] = {
        {"Empty", ""},
        {"Corrupt", "\x00\x01garbage<dict>"},
        {"Truncated", kInfo.substr(0, kInfo.size() / 2)},
        {"TruncatedBinary", binary.substr(0, binary.size() - 10)},
        {"NotADictionary", xmlPropertyList("<array><string>com.example.cam</string></array>")},
        {"Huge", kInfo + std::string(5 * 1024 * 1024, ' ')},
    };
    for (const auto& [name, contents] : cases) {
        testsupport::writeFile(dir.path() / name / "Contents/Info.plist", contents);
        Ref<Bundle> bundle = open(dir / name);
        ASSERT_TRUE(bundle) << name;
        EXPECT_EQ(bundle->infoDictionary()->count(), 0u) << name;
        EXPECT_EQ(bundle->bundleIdentifier(), nullptr) << name;
    }
    fs::create_directories(dir / "Folder/Contents/Info.plist");
    EXPECT_EQ(open(dir / "Folder")->infoDictionary()->count(), 0u);
}

TEST(BundlePaths, FollowTheContentsLayoutOrTheFlatOne) {
    TempDir dir;
    testsupport::writeFile(dir / "Cam.plugin/Contents/Info.plist", kInfo);
    testsupport::writeFile(dir / "Cam.plugin/Contents/Linux/Cam.so", "code");
    Ref<Bundle> bundle = open(dir / "Cam.plugin");
    EXPECT_EQ(text(bundle->resourcePath().get()), dir / "Cam.plugin/Contents/Resources");
    EXPECT_EQ(text(bundle->builtInPlugInsPath().get()), dir / "Cam.plugin/Contents/PlugIns");
    EXPECT_EQ(text(bundle->executablePath().get()), dir / "Cam.plugin/Contents/Linux/Cam.so");

    std::string escaping = kInfo;
    escaping.replace(escaping.find("Cam.so"), 6, "../Info.plist");
    testsupport::writeFile(dir / "Escaping.plugin/Contents/Info.plist", escaping);
    EXPECT_EQ(open(dir / "Escaping.plugin")->executablePath(), nullptr);

    testsupport::writeFile(dir / "Flat.bundle/Info.plist", kInfo);
    Ref<Bundle> flat = open(dir / "Flat.bundle");
    EXPECT_EQ(text(flat->bundleIdentifier()), "com.example.cam");
    EXPECT_EQ(text(flat->resourcePath().get()), dir / "Flat.bundle");
    EXPECT_EQ(text(flat->builtInPlugInsPath().get()), dir / "Flat.bundle/PlugIns");
}

TEST(BundleWithPath, ReadsTheDiskAfreshOnEveryCall) {
    TempDir dir;
    const std::string info = dir / "Cam.plugin/Contents/Info.plist";
    testsupport::writeFile(info, kInfo);
    Ref<Bundle> first = open(dir / "Cam.plugin");
    EXPECT_EQ(text(first->bundleIdentifier()), "com.example.cam");

    std::string updated = kInfo;
    updated.replace(updated.find("com.example.cam"), 15, "com.example.new");
    testsupport::writeFile(info, updated);
    EXPECT_EQ(text(open(dir / "Cam.plugin")->bundleIdentifier()), "com.example.new");
    EXPECT_EQ(text(first->bundleIdentifier()), "com.example.cam");  // one object keeps what it read

    fs::remove(info);
    EXPECT_EQ(open(dir / "Cam.plugin")->bundleIdentifier(), nullptr);
    fs::remove_all(dir / "Cam.plugin");
    EXPECT_FALSE(open(dir / "Cam.plugin"));
}

TEST(BundleForClass, IsTheBundleWhoseCodeFolderHoldsTheClassesImage) {
    TempDir dir;
    const fs::path image = fs::path(TEST_IMAGE_DIR) / "test_image_a.so";
    fs::create_directories(dir / "Probe.bundle/Contents/Linux");
    fs::create_directories(dir / "loose");
    fs::copy_file(image, dir / "Probe.bundle/Contents/Linux/Probe.so");
    fs::copy_file(image, dir / "loose/Probe.so");
    testsupport::writeFile(dir / "Probe.bundle/Contents/Info.plist", kInfo);
    fs::create_directory_symlink(dir / "Probe.bundle", dir / "Link.bundle");

    // Loaded through a link: the bundle is named by its real path.
    void* inBundle = dlopen((dir / "Link.bundle/Contents/Linux/Probe.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    void* loose = dlopen((dir / "loose/Probe.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(inBundle, nullptr) << dlerror();
    ASSERT_NE(loose, nullptr) << dlerror();
    using ClassOfImage = const Class* (*)();
    auto bundledClass = reinterpret_cast<ClassOfImage>(dlsym(inBundle, "testImageSharedClass"));
    auto looseClass = reinterpret_cast<ClassOfImage>(dlsym(loose, "testImageSharedClass"));
    ASSERT_NE(bundledClass(), looseClass());

    Ref<Bundle> bundle = Bundle::bundleForClass(*bundledClass());
    ASSERT_TRUE(bundle);
    EXPECT_EQ(text(bundle->bundlePath()), realPath(dir / "Probe.bundle"));
    EXPECT_EQ(text(bundle->executablePath().get()), realPath(dir / "Probe.bundle/Contents/Linux/Probe.so"));
    EXPECT_EQ(text(bundle->bundleIdentifier()), "com.example.cam");
    EXPECT_EQ(Bundle::bundleForClass(*bundledClass()).get(), bundle.get());

    EXPECT_FALSE(Bundle::bundleForClass(*looseClass()));
    EXPECT_FALSE(Bundle::bundleForClass(Object::classRecord));  // the platform library is in no bundle
    dlclose(loose);
    dlclose(inBundle);
}

TEST(MainBundle, IsTheFolderOfABareExecutable) {
    Bundle* main = Bundle::mainBundle();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(text(main->bundlePath()), fs::canonical("/proc/self/exe").parent_path().string());
    EXPECT_EQ(Bundle::mainBundle(), main);
}

TEST(MainBundle, IsTheApplicationBundleAroundTheExecutable) {
    TempDir dir;
    const fs::path code = dir.path() / "Probe.app/Contents/Linux";
    fs::create_directories(code);
    fs::copy_file(BUNDLE_PROBE, code / "Probe");
    testsupport::writeFile(dir / "Probe.app/Contents/Info.plist", kInfo);
    fs::create_directories(dir / "bin");
    fs::create_symlink(code / "Probe", dir / "bin/probe");

    // Started through a link under a name that leads nowhere.
    const std::string output = run(dir / "bin/probe", "no-such-name");
    const std::string app = realPath(dir / "Probe.app");
    EXPECT_EQ(output, "main=" + app + "\nown=" + app + "\nsame=yes\nidentifier=com.example.cam\n");
}
