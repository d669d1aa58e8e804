// The log queue: what one formatted line costs its caller, and how many lines
// the queue writes per second. Lines go to standard error (sent to /dev/null
// here) and to the journal when one is running. The same two figures for
// spdlog's asynchronous logger writing to standard error, as a baseline.

#include "WithRequirements/RequiredCoreLog.h"

#include <benchmark/benchmark.h>
#include <spdlog/async.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

std::atomic<long> written{0};
long submitted = 0;

void countLine(CFStringRef) { written.fetch_add(1, std::memory_order_relaxed); }

void waitUntilWritten() {
    while (written.load(std::memory_order_relaxed) < submitted) std::this_thread::yield();
}

// The caller formats and submits; the queue writes meanwhile on its own thread.
void CFLogPrintfCallerCost(benchmark::State& state) {
    __CFLogSetLogStringFnPtr(countLine);
    waitUntilWritten();  // start without a backlog
    for (auto _ : state) {
        __CFLogPrintf(CFSTR("REQUIRED_OSSTATUS(%ld) %s - %@ in %s:%d"), -60006L, "errAuthorizationCanceled",
                      CFSTR("SRC>>status"), "main", 42);
    }
    submitted += state.iterations();
    waitUntilWritten();  // after the loop: not timed
}
BENCHMARK(CFLogPrintfCallerCost)->Iterations(20000)->Repetitions(15)->ReportAggregatesOnly(true);

// Lines written per second, from the first submission until the last line
// has reached the hook.
void LogQueueThroughput(benchmark::State& state) {
    __CFLogSetLogStringFnPtr(countLine);
    const long lines = state.range(0);
    for (auto _ : state) {
        for (long n = 0; n < lines; ++n) __CFLogPrintf(CFSTR("line %ld of a burst"), n);
        submitted += lines;
        waitUntilWritten();
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(LogQueueThroughput)->Arg(10000)->Iterations(5)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);

// spdlog: one thread-pool worker, a standard-error sink, the same line.
std::shared_ptr<spdlog::logger> spdlogLogger() {
    static std::shared_ptr<spdlog::logger> logger = [] {
        spdlog::init_thread_pool(8192, 1);
        return spdlog::create_async<spdlog::sinks::stderr_sink_mt>("baseline");
    }();
    return logger;
}

void SpdlogCallerCost(benchmark::State& state) {
    auto logger = spdlogLogger();
    for (auto _ : state) {
        logger->info("REQUIRED_OSSTATUS({}) {} - {} in {}:{}", -60006L, "errAuthorizationCanceled", "SRC>>status",
                     "main", 42);
    }
    logger->flush();
}
BENCHMARK(SpdlogCallerCost)->Iterations(20000)->Repetitions(15)->ReportAggregatesOnly(true);

void SpdlogThroughput(benchmark::State& state) {
    auto logger = spdlogLogger();
    const long lines = state.range(0);
    for (auto _ : state) {
        for (long n = 0; n < lines; ++n) logger->info("line {} of a burst", n);
        logger->flush();
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(SpdlogThroughput)->Arg(10000)->Iterations(5)->Repetitions(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDERR_FILENO);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
