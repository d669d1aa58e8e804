// What one refresh tick costs: the six status keys of one payload read
// through the payload controller, against the floor of the same file-system
// checks and property-list parses done directly, in the same run.
//
// The program lives in RefreshTick.app/Contents/Linux/, so that its code
// finds that folder as its bundle; it puts its payload there while it runs.

#include "PrivetTool/PrivetBundlePayloadController.h"
#include "PrivetTool/PrivetStatusKeys.h"

#include "Foundation/FileManager.h"
#include "objc/KeyValueObserving.h"

#include <benchmark/benchmark.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;
using namespace platform;

namespace {

const char* const kInfo =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
    "<key>CFBundleIdentifier</key><string>com.fernhill.cam</string>"
    "<key>CFBundleName</key><string>Cam</string><key>CFBundleVersion</key><string>2.0</string>"
    "<key>CFBundleExecutable</key><string>Cam</string></dict></plist>\n";

// Payloads Cam.component and Cam1.component to Cam<kPayloads - 1>.component,
// each in the bundle's resources and installed.
constexpr int kPayloads = 100;

std::string payloadName(int index) { return index == 0 ? "Cam.component" : "Cam" + std::to_string(index) + ".component"; }

struct Setup {
    fs::path bundle;
    fs::path machine;
    std::unique_ptr<LibraryFoldersOverride> folders;

    Setup() {
        bundle = fs::canonical("/proc/self/exe").parent_path().parent_path().parent_path();
        machine = fs::temp_directory_path() / ("privet-tick-" + std::to_string(getpid()));
        for (int index = 0; index < kPayloads; ++index) {
            for (const fs::path& copy : {bundle / "Contents/Resources" / payloadName(index),
                                         machine / "Library/QuickTime" / payloadName(index)}) {
                fs::create_directories(copy / "Contents");
                std::ofstream(copy / "Contents/Info.plist") << kInfo;
            }
        }
        folders = std::make_unique<LibraryFoldersOverride>(
            LibraryFolders{std::nullopt, (machine / "Library").string(), std::nullopt});
    }
    ~Setup() {
        folders.reset();
        fs::remove_all(machine);
        for (int index = 0; index < kPayloads; ++index) fs::remove_all(bundle / "Contents/Resources" / payloadName(index));
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


// Reads each of the six keys when it is announced as changed, as a bound
// control does.
class BoundControls final : public KeyValueObserver {
public:
    explicit BoundControls(Object& controller) : controller_(controller) {
        for (const char* key : kPrivetStatusKeys) controller_.addObserver_forKeyPath(this, key);
    }
    ~BoundControls() override {
        for (const char* key : kPrivetStatusKeys) controller_.removeObserver_forKeyPath(this, key);
    }
    void observeDidChangeValueForKey(Object& object, const std::string& key) override {
        benchmark::DoNotOptimize(object.valueForKey(key));
        ++reads;
    }
    long reads = 0;

private:
    Object& controller_;
};

// One tick of the refresh timer for a window of payloads, each shown by
// six bound controls.
void BM_RefreshTickOfAHundredPayloads(benchmark::State& state) {
    setup();
    Ref<PrivetToolController> tool = make<PrivetToolController>();
    std::vector<Ref<PrivetBundlePayloadController>> controllers;
    std::vector<std::unique_ptr<BoundControls>> controls;
    for (int index = 0; index < kPayloads; ++index) {
        Ref<PrivetBundlePayloadController> controller = make<PrivetBundlePayloadController>();
        controller->setFileName(make<String>(payloadName(index)).get());
        controller->setSystemLocation(make<String>("Library.QuickTime").get());
        controller->privetToolController = tool.get();
        controls.push_back(std::make_unique<BoundControls>(*controller));
        controllers.push_back(std::move(controller));
    }
    for (auto _ : state) {
        for (const Ref<PrivetBundlePayloadController>& controller : controllers) controller->bindingsRefreshTimer(nullptr);
    }
    long reads = 0;
    for (const auto& control : controls) reads += control->reads;
    if (reads != static_cast<long>(state.iterations()) * kPayloads * 6) state.SkipWithError("not every key was read");
    controls.clear();
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
    // The installed copy's Info.plist, unless the caller has just parsed it.
    auto upToDate = [&](plist_t installedInfo) {
        if (!installedInfo) benchmark::DoNotOptimize(exists(installed));
        sourceLookup();
        plist_t a = installedInfo ? installedInfo : parse(installed + "/Contents/Info.plist");
        plist_t b = parse(source + "/Contents/Info.plist");
        benchmark::DoNotOptimize(plist_dict_get_item(a, "CFBundleVersion"));
        benchmark::DoNotOptimize(plist_dict_get_item(b, "CFBundleVersion"));
        if (a != installedInfo) plist_free(a);
        plist_free(b);
    };
    for (auto _ : state) {
        upToDate(nullptr);                                    // payloadInstalledAndUpToDate
        plist_t summary = parse(installed + "/Contents/Info.plist");  // payloadSystemSummary
        benchmark::DoNotOptimize(exists(installed));
        upToDate(summary);
        plist_free(summary);
        sourceLookup();                                       // payloadSourceSummary
        plist_free(parse(source + "/Contents/Info.plist"));
        benchmark::DoNotOptimize(exists(installed));          // payloadInstalled
    }
}

} // namespace

BENCHMARK(BM_RefreshTickFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefreshTickThroughTheController)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefreshTickOfAHundredPayloads)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
