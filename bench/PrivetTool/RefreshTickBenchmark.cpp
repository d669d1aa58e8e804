// What one refresh tick costs: the six status keys of one payload read
// through the payload controller, against the floor of the same file-system
// checks and property-list parses done directly, in the same run.
//
// The program lives in RefreshTick.app/Contents/Linux/, so that its code
// finds that folder as its bundle; it puts its payload there while it runs.

#include "PrivetTool/PrivetBundlePayloadController.h"

#include "Foundation/FileManager.h"

#include <benchmark/benchmark.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using namespace platform;

namespace {

const char* const kInfo =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
    "<key>CFBundleIdentifier</key><string>com.fernhill.cam</string>"
    "<key>CFBundleName</key><string>Cam</string><key>CFBundleVersion</key><string>2.0</string>"
    "<key>CFBundleExecutable</key><string>Cam</string></dict></plist>\n";

struct Setup {
    fs::path bundle;
    fs::path machine;
    std::unique_ptr<LibraryFoldersOverride> folders;

    Setup() {
        bundle = fs::canonical("/proc/self/exe").parent_path().parent_path().parent_path();
        machine = fs::temp_directory_path() / ("privet-tick-" + std::to_string(getpid()));
        for (const fs::path& copy : {bundle / "Contents/Resources/Cam.component",
                                     machine / "Library/QuickTime/Cam.component"}) {
            fs::create_directories(copy / "Contents");
            std::ofstream(copy / "Contents/Info.plist") << kInfo;
        }
        folders = std::make_unique<LibraryFoldersOverride>(
            LibraryFolders{std::nullopt, (machine / "Library").string(), std::nullopt});
    }
    ~Setup() {
        folders.reset();
        fs::remove_all(machine);
        fs::remove_all(bundle / "Contents/Resources/Cam.component");
    }
};

Setup& setup() {
    static Setup instance;
    return instance;
}

void BM_RefreshTickThroughTheController(benchmark::State& state) {
    setup();
    Ref<PrivetToolController> tool = make<PrivetToolController>();
    Ref<PrivetBundlePayloadController> controller = make<PrivetBundlePayloadController>();
    controller->setFileName(make<String>("Cam.component").get());
    controller->setSystemLocation(make<String>("Library.QuickTime").get());
    controller->privetToolController = tool.get();
    for (auto _ : state) {
        benchmark::DoNotOptimize(controller->payloadInstalledAndUpToDate());
        benchmark::DoNotOptimize(controller->payloadSystemSummary());
        benchmark::DoNotOptimize(controller->payloadSourceSummary());
        benchmark::DoNotOptimize(controller->payloadInstalledLocation());
        benchmark::DoNotOptimize(controller->payloadInstalledLocationFolder());
        benchmark::DoNotOptimize(controller->payloadInstalled());
    }
}

bool exists(const std::string& path) {
    struct stat status{};
    return stat(path.c_str(), &status) == 0;
}

plist_t parse(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    return root;
}

// The reads one tick needs at least: for each key what it reads, with no
// lookup, no object and no string made beyond the parse itself.
void BM_RefreshTickFloor(benchmark::State& state) {
    const std::string pane = setup().bundle.string() + "/Contents/";
    const std::string source = pane + "Resources/Cam.component";
    const std::string installed = (setup().machine / "Library/QuickTime/Cam.component").string();
    auto sourceLookup = [&] {  // resources, plug-ins and helpers are all asked
        benchmark::DoNotOptimize(exists(source));
        benchmark::DoNotOptimize(exists(pane + "PlugIns/Cam.component"));
        benchmark::DoNotOptimize(exists(pane + "Helpers/Cam.component"));
    };
    auto upToDate = [&] {
        benchmark::DoNotOptimize(exists(installed));
        sourceLookup();
        plist_t a = parse(installed + "/Contents/Info.plist");
        plist_t b = parse(source + "/Contents/Info.plist");
        benchmark::DoNotOptimize(plist_dict_get_item(a, "CFBundleVersion"));
        benchmark::DoNotOptimize(plist_dict_get_item(b, "CFBundleVersion"));
        plist_free(a);
        plist_free(b);
    };
    for (auto _ : state) {
        upToDate();                                           // payloadInstalledAndUpToDate
        plist_free(parse(installed + "/Contents/Info.plist"));  // payloadSystemSummary
        benchmark::DoNotOptimize(exists(installed));
        upToDate();
        sourceLookup();                                       // payloadSourceSummary
        plist_free(parse(source + "/Contents/Info.plist"));
        benchmark::DoNotOptimize(exists(installed));          // payloadInstalled
    }
}

} // namespace

BENCHMARK(BM_RefreshTickFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefreshTickThroughTheController)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
