// The log queue against spdlog's asynchronous logger, both writing to a file:
// what one formatted line costs its caller, and how many lines per second
// reach the file. Our lines also go to the journal when one is running.

#include "WithRequirements/RequiredCoreLog.h"

#include "Foundation/String.h"

#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/details/file_helper.h>
#include <spdlog/sinks/base_sink.h>
#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>

namespace fs = std::filesystem;

namespace {

const fs::path& outputFolder() {
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "privet-log-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return fs::path(pattern);
    }();
    return folder;
}

// Returns once the queue has written everything submitted before: the queue
// releases this object's last reference after it has written its description.
void waitUntilOursWritten() {
    class Marker : public platform::Object {
    public:
        explicit Marker(std::promise<void>* gone) : gone_(gone) {}
        ~Marker() override { gone_->set_value(); }

    private:
        std::promise<void>* gone_;
    };
    std::promise<void> gone;
    std::future<void> done = gone.get_future();
    __CFLogShowTypeRef(platform::make<Marker>(&gone).get());
    done.wait();
}

// The caller formats and submits; the queue writes meanwhile on its own thread.
void CFLogPrintfCallerCost(benchmark::State& state) {
    waitUntilOursWritten();  // start without a backlog
    for (auto _ : state) {
        __CFLogPrintf(CFSTR("REQUIRED_OSSTATUS(%ld) %s - %@ in %s:%d"), -60006L, "errAuthorizationCanceled",
                      CFSTR("SRC>>status"), "main", 42);
    }
    waitUntilOursWritten();  // after the loop: not timed
}

// Lines in the file per second, from the first submission until the last line
// has been written.
void LogQueueThroughput(benchmark::State& state) {
    const long lines = state.range(0);
    for (auto _ : state) {
        for (long n = 0; n < lines; ++n) __CFLogPrintf(CFSTR("line %ld of a burst"), n);
        waitUntilOursWritten();
    }
    state.SetItemsProcessed(state.iterations() * lines);
}

// spdlog: one worker thread and a file sink that counts its flushes, so that
// a burst is timed until it is in the file, as ours is. The queue holds more
// than a repetition submits, so that callers never wait for room.
// (spdlog's own file sink, which cannot be derived from, with a count.)
class CountingFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    explicit CountingFileSink(const std::string& path) { file_.open(path, true); }
    std::atomic<long> flushes{0};

protected:
    void sink_it_(const spdlog::details::log_msg& message) override {
        spdlog::memory_buf_t formatted;
        formatter_->format(message, formatted);
        file_.write(formatted);
    }
    void flush_() override {
        file_.flush();
        flushes.fetch_add(1, std::memory_order_release);
    }

private:
    spdlog::details::file_helper file_;
};

struct Spdlog {
    std::shared_ptr<CountingFileSink> sink;
    std::shared_ptr<spdlog::async_logger> logger;

    void waitUntilWritten() {
        const long before = sink->flushes.load(std::memory_order_acquire);
        logger->flush();
        while (sink->flushes.load(std::memory_order_acquire) == before) std::this_thread::yield();
    }
};

Spdlog& spdlogLogger() {
    static Spdlog instance = [] {
        spdlog::init_thread_pool(32768, 1);
        auto sink = std::make_shared<CountingFileSink>((outputFolder() / "spdlog.log").string());
        auto logger = std::make_shared<spdlog::async_logger>("baseline", sink, spdlog::thread_pool());
        return Spdlog{sink, logger};
    }();
    return instance;
}

void SpdlogCallerCost(benchmark::State& state) {
    Spdlog& spdlog = spdlogLogger();
    spdlog.waitUntilWritten();
    for (auto _ : state) {
        spdlog.logger->info("REQUIRED_OSSTATUS({}) {} - {} in {}:{}", -60006L, "errAuthorizationCanceled",
                            "SRC>>status", "main", 42);
    }
    spdlog.waitUntilWritten();
}

void SpdlogThroughput(benchmark::State& state) {
    Spdlog& spdlog = spdlogLogger();
    const long lines = state.range(0);
    for (auto _ : state) {
        for (long n = 0; n < lines; ++n) spdlog.logger->info("line {} of a burst", n);
        spdlog.waitUntilWritten();
    }
    state.SetItemsProcessed(state.iterations() * lines);
}

} // namespace

BENCHMARK(CFLogPrintfCallerCost)->Iterations(20000)->Repetitions(15);
BENCHMARK(SpdlogCallerCost)->Iterations(20000)->Repetitions(15);
BENCHMARK(LogQueueThroughput)->Arg(10000)->Iterations(5)->Repetitions(9)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SpdlogThroughput)->Arg(10000)->Iterations(5)->Repetitions(9)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // Our lines go to standard error: make it a file beside spdlog's.
    const std::string ours = (outputFolder() / "ours.log").string();
    const int file = open(ours.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0 || dup2(file, STDERR_FILENO) < 0) return 1;
    close(file);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    spdlog::shutdown();
    fs::remove_all(outputFolder());
    return 0;
}
