// The install's copy step against a plain `cp -a` of the same 128 MB payload
// tree, in the same run; the copy made durable as the install makes it
// (checked whole, its file system synced) against `cp -a` followed by
// `sync -f`; and the durable update of an installed copy against the durable
// fresh copy. The helper's one-second polls are not measured: each command
// is waited for directly.

#include "HelperSteps.h"
#include "StagedCopy.h"

#include "Foundation/Task.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;
using platform::make;
using platform::Ref;
using platform::String;
using platform::Task;

namespace {

// 64 folders of 8 files of 256 KiB: 128 MiB of incompressible data.
const fs::path& payloadTree() {
    static const fs::path root = [] {
        const fs::path dir = fs::temp_directory_path() / ("privet-bench-" + std::to_string(getpid()));
        std::mt19937_64 random(7);
        std::vector<char> block(256 * 1024);
        for (int folder = 0; folder < 64; ++folder) {
            const fs::path sub = dir / "Cam.plugin/Contents/Resources" / ("set" + std::to_string(folder));
            fs::create_directories(sub);
            for (int file = 0; file < 8; ++file) {
                for (char& byte : block) byte = static_cast<char>(random());
                std::ofstream(sub / ("part" + std::to_string(file) + ".bin"), std::ios::binary)
                    .write(block.data(), static_cast<std::streamsize>(block.size()));
            }
        }
        std::atexit([] { fs::remove_all(fs::temp_directory_path() / ("privet-bench-" + std::to_string(getpid()))); });
        return dir;
    }();
    return root;
}

void runAndWait(const Ref<String>& program, const Ref<platform::Array>& arguments) {
    Task::launchedTaskWithLaunchPath_arguments(program.get(), arguments.get())->waitUntilExit();
}

// The copy alone; made durable as the install makes it before it moves the
// copy into place; or an update: an installed copy copied into the room and
// the source merged over it, made durable.
enum class CopyKind { Fresh, Durable, Update };

void helperCopy(benchmark::State& state, CopyKind kind) {
    const fs::path source = payloadTree() / "Cam.plugin";
    const fs::path destination = payloadTree() / "installed" / "Cam.plugin";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(destination.parent_path());
        fs::create_directories(destination.parent_path());
        if (kind == CopyKind::Update) fs::copy(source, destination, fs::copy_options::recursive);
        sync();  // each copy starts without the last one's writes pending
        const std::vector<StepCommand> steps =
            installCommands("bench", make<String>(source.string()).get(), make<String>(destination.string()).get());
        // The room is made first; then come the copies into it.
        auto step = steps.begin();
        for (; step->program->text() != "/bin/cp"; ++step) runAndWait(step->program, step->arguments);
        const std::string staged = platform::objectAs<String>(step->arguments->objects().back().get())->text();
        state.ResumeTiming();
        for (; step->program->text() == "/bin/cp"; ++step) runAndWait(step->program, step->arguments);
        if (kind != CopyKind::Fresh && (checkCopyIsWhole(source.string(), staged).isError() || syncFileSystemOf(staged).isError())) {
            state.SkipWithError("the copy is not whole, or not on disk");
        }
    }
    state.SetBytesProcessed(state.iterations() * 128LL * 1024 * 1024);
}

void BM_HelperCopyStep(benchmark::State& state) { helperCopy(state, CopyKind::Fresh); }
void BM_HelperDurableCopy(benchmark::State& state) { helperCopy(state, CopyKind::Durable); }
void BM_HelperDurableUpdate(benchmark::State& state) { helperCopy(state, CopyKind::Update); }

void plainCp(benchmark::State& state, bool synced) {
    const fs::path source = payloadTree() / "Cam.plugin";
    const fs::path destination = payloadTree() / "plain" / "Cam.plugin";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(destination);
        fs::create_directories(destination.parent_path());
        sync();
        std::vector<Ref<platform::Object>> arguments{make<String>("-a"), make<String>(source.string()),
                                                     make<String>(destination.string())};
        Ref<platform::Array> list = make<platform::Array>(std::move(arguments));
        state.ResumeTiming();
        runAndWait(make<String>("/bin/cp"), list);
        if (synced) {
            std::vector<Ref<platform::Object>> syncArguments{make<String>("-f"), make<String>(destination.string())};
            runAndWait(make<String>("/bin/sync"), make<platform::Array>(std::move(syncArguments)));
        }
    }
    state.SetBytesProcessed(state.iterations() * 128LL * 1024 * 1024);
}

void BM_PlainCpArchive(benchmark::State& state) { plainCp(state, false); }
void BM_PlainCpArchiveThenSync(benchmark::State& state) { plainCp(state, true); }

} // namespace

BENCHMARK(BM_PlainCpArchive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)->Repetitions(3);
BENCHMARK(BM_HelperCopyStep)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)->Repetitions(3);
BENCHMARK(BM_PlainCpArchiveThenSync)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)->Repetitions(3);
BENCHMARK(BM_HelperDurableCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)->Repetitions(3);
BENCHMARK(BM_HelperDurableUpdate)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5)->Repetitions(3);

BENCHMARK_MAIN();
