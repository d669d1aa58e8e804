// Bytes as an information list: read directly, and read as the
// Contents/Info.plist of a bundle. The two readings must agree.

#include "support/TempDir.h"

#include "Foundation/Bundle.h"
#include "Foundation/Dictionary.h"
#include "Foundation/PropertyList.h"
#include "Foundation/String.h"
#include "objc/AutoreleasePool.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

using namespace platform;

namespace {

// Stops the run with a message; libFuzzer keeps the input that did it.
[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "info_plist_fuzzer: %s\n", what);
    std::abort();
}

// A bundle folder made once; its Info.plist is rewritten for every input.
class ScratchBundle {
public:
    ScratchBundle() {
        std::filesystem::create_directories(folder_.path() / "Bundle.plugin/Contents");
        path_ = make<String>((folder_.path() / "Bundle.plugin").string());
        infoFile_ = (folder_.path() / "Bundle.plugin/Contents/Info.plist").string();
    }

    void writeInfo(std::string_view bytes) const {
        std::ofstream out(infoFile_, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) fail("cannot write Info.plist");
    }

    const String* path() const { return path_.get(); }

private:
    testsupport::TempDir folder_;
    Ref<String> path_;
    std::string infoFile_;
};

std::string describe(const Object* object) { return object ? object->description()->text() : std::string("(null)"); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchBundle scratch;
    AutoreleasePool pool;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const Ref<Object> list = propertyListFromBytes(bytes);
    const std::string listText = describe(list.get());
    const Dictionary* direct = objectAs<Dictionary>(list.get());

    scratch.writeInfo(bytes);
    const Ref<Bundle> bundle = Bundle::bundleWithPath(scratch.path());
    if (!bundle) fail("the scratch bundle did not open");
    const Dictionary* info = bundle->infoDictionary();
    if (info == nullptr) fail("a bundle without an information dictionary");
    if (direct ? describe(info) != listText : info->count() != 0) {
        fail("the bundle's information dictionary differs from the list read directly");
    }

    const String* identifier = bundle->bundleIdentifier();
    const String* expected = direct ? objectAs<String>(direct->objectForKey(kCFBundleIdentifierKey)) : nullptr;
    if ((identifier == nullptr) != (expected == nullptr) || (identifier && !identifier->isEqualToString(expected))) {
        fail("the bundle identifier differs from the list's CFBundleIdentifier");
    }
    return 0;
}
