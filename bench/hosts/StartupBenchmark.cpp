// Start-up of the two windowed programs: the time from just before the
// program is started to the first paint of its pane, and the peak resident
// memory of the process. Each program is started once unmeasured, then
// --runs times (15 by default) with Qt offscreen; it reports the paint
// through PRIVET_FIRST_PAINT_FD and quits. Prints CSV lines
// name,unit,min,median,max.

#include "Foundation/SystemCall.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The descriptor the program reports on.
constexpr int kReportFd = 3;
// A start that has not painted by then has failed.
constexpr int kTimeoutMs = 10000;

struct Program {
    std::string name;
    std::vector<std::string> arguments;  // the first is the path
};

struct Sample {
    double paintMs;
    double peakMb;
};

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// This environment with Qt offscreen and the probe on.
std::vector<std::string> childEnvironment() {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text(*entry);
        if (text.starts_with("QT_QPA_PLATFORM=") || text.starts_with("PRIVET_FIRST_PAINT_FD=")) continue;
        result.emplace_back(text);
    }
    result.emplace_back("QT_QPA_PLATFORM=offscreen");
    result.emplace_back("PRIVET_FIRST_PAINT_FD=" + std::to_string(kReportFd));
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// Shows what a failed start wrote to standard error.
void showErrors(int errors) {
    char buffer[4096];
    lseek(errors, 0, SEEK_SET);
    for (ssize_t got; (got = read(errors, buffer, sizeof buffer)) > 0;) {
        if (write(STDERR_FILENO, buffer, static_cast<std::size_t>(got)) != got) break;
    }
}

// One start, its standard error kept in `errors`; prints why and answers
// nothing when it fails.
std::optional<Sample> runOnce(const Program& program, int errors) {
    if (ftruncate(errors, 0) != 0 || lseek(errors, 0, SEEK_SET) != 0) {
        std::perror("startup_benchmark: error file");
        return std::nullopt;
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        std::perror("startup_benchmark: pipe");
        return std::nullopt;
    }
    // Above the report descriptor, so that the dup2 below always clears close-on-exec.
    const int writeEnd = fcntl(ends[1], F_DUPFD_CLOEXEC, kReportFd + 1);
    close(ends[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errors, STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd, kReportFd);
    std::vector<std::string> arguments = program.arguments;
    std::vector<std::string> environment = childEnvironment();
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);

    pid_t pid = 0;
    const long long started = monotonicNs();
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(writeEnd);
    if (failed != 0) {
        std::fprintf(stderr, "startup_benchmark: cannot start %s: %s\n", argv[0], std::strerror(failed));
        close(ends[0]);
        return std::nullopt;
    }

    std::string report;
    const long long deadline = started + kTimeoutMs * 1000000LL;
    bool timedOut = false;
    for (;;) {
        const long long left = (deadline - monotonicNs()) / 1000000;
        pollfd wait{ends[0], POLLIN, 0};
        const int ready = left > 0 ? poll(&wait, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            timedOut = true;
            break;
        }
        char buffer[64];
        const ssize_t got = platform::sys::retryingInterrupts([&] { return read(ends[0], buffer, sizeof buffer); });
        if (got <= 0) break;
        report.append(buffer, static_cast<std::size_t>(got));
    }
    close(ends[0]);
    if (timedOut) kill(pid, SIGKILL);

    int status = 0;
    rusage usage{};
    platform::sys::retryingInterrupts([&] { return wait4(pid, &status, 0, &usage); });
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) showErrors(errors);
    if (timedOut) {
        std::fprintf(stderr, "startup_benchmark: %s did not report a paint within %d ms\n", program.name.c_str(),
                     kTimeoutMs);
        return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "startup_benchmark: %s ended with status %d\n", program.name.c_str(),
                     WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        return std::nullopt;
    }
    long long painted = 0;
    const auto [end, error] = std::from_chars(report.data(), report.data() + report.size(), painted);
    if (error != std::errc() || report.empty() || end != report.data() + report.size() - 1 || *end != '\n' ||
        painted < started) {
        std::fprintf(stderr, "startup_benchmark: %s reported \"%s\", not one paint time\n", program.name.c_str(),
                     report.c_str());
        return std::nullopt;
    }
    return Sample{static_cast<double>(painted - started) / 1e6, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

void printLine(const std::string& name, const char* unit, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    std::printf("%s,%s,%.1f,%.1f,%.1f\n", name.c_str(), unit, values.front(), median, values.back());
}

bool measure(const Program& program, int runs, int errors) {
    if (!runOnce(program, errors)) return false;  // warm-up: page cache, font cache
    std::vector<double> paint;
    std::vector<double> peak;
    for (int i = 0; i < runs; ++i) {
        const std::optional<Sample> sample = runOnce(program, errors);
        if (!sample) return false;
        paint.push_back(sample->paintMs);
        peak.push_back(sample->peakMb);
    }
    printLine(program.name + "_first_paint", "ms", paint);
    printLine(program.name + "_peak_rss", "MB", peak);
    std::fflush(stdout);
    return true;
}

const char kUsage[] = "Usage: startup_benchmark [--runs N]\n"
                      "\n"
                      "Starts Preferences (both panes, one selected), the same window with its panes\n"
                      "untried (the baseline of the isolation's cost) and PaneHarness from " PRODUCTS_DIR "\n"
                      "once unmeasured, then N times each (1 to 100, default 15), and prints the time\n"
                      "from start to the first paint of the pane (ms) and the peak resident memory (MB)\n"
                      "as CSV lines name,unit,min,median,max.\n";

} // namespace

int main(int argc, char** argv) {
    int runs = 15;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument == "--runs" && i + 1 < argc) {
            const std::string_view value = argv[++i];
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), runs);
            if (error == std::errc() && end == value.data() + value.size() && runs >= 1 && runs <= 100) continue;
            std::fprintf(stderr, "startup_benchmark: --runs needs a number from 1 to 100, not \"%s\"\n", argv[i]);
            return 2;
        }
        std::fprintf(stderr, "startup_benchmark: unknown argument %s\n\n%s", argv[i], kUsage);
        return 2;
    }
    const std::string products = PRODUCTS_DIR;
    const std::vector<Program> programs{
        {"preferences",
         {products + "/Preferences", "--select", "Kestrel", products + "/KestrelPrefs.prefPane",
          products + "/SidelightPane.prefPane"}},
        {"preferences_untried",
         {UNTRIED_PREFERENCES, "--select", "Kestrel", products + "/KestrelPrefs.prefPane",
          products + "/SidelightPane.prefPane"}},
        {"harness", {products + "/PaneHarness.app/Contents/Linux/PaneHarness"}},
    };
    FILE* errors = std::tmpfile();
    if (errors == nullptr || fcntl(fileno(errors), F_SETFD, FD_CLOEXEC) != 0) {
        std::perror("startup_benchmark: error file");
        return 1;
    }
    std::puts("name,unit,min,median,max");
    for (const Program& program : programs) {
        if (!measure(program, runs, fileno(errors))) return 1;
    }
    return 0;
}
