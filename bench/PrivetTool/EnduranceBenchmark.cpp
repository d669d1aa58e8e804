// Endurance: both panes loaded as the preferences application loads them and
// left open, one refresh tick a second (on a fake clock) for a long time,
// with an Install and a Remove through the real install helper in every
// stretch of so many ticks, so that the ticks see payloads both absent and
// installed. Reports whether resident memory, open descriptors and live
// objects grow.
//
// Installs for real, so it runs as root in the sandbox (scripts/bench starts
// it so):
//
//   sandbox-exec --ro-bind BUILD -- endurance_benchmark [--ticks N] [--every N] [--warm-up N] [PRODUCTS]
//
// Prints name,unit,value lines on standard output, progress on standard
// error. Exits 1 when growth is past its target or the panes stop working,
// 77 when not run as root in the sandbox.

#include "PreferencePanes/Preferences/PaneSlot.h"
#include "PrivetTool/PrivetStatusKeys.h"

#include "AppKit/EventLoopBridge.h"
#include "AppKit/NibLoader.h"
#include "Foundation/Number.h"
#include "Foundation/RunLoop.h"
#include "Foundation/String.h"
#include "PreferencePanes/PreferencePane.h"
#include "objc/AutoreleasePool.h"
#include "objc/KeyValueObserving.h"

#include <QApplication>
#include <QThreadPool>
#include <QWidget>

#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

namespace {

constexpr long kRssTargetKb = 1024;

struct Options {
    long ticks = 100000;
    long every = 10000;
    long warmUp = 10000;
    std::string products = PRODUCTS_DIR;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        long* count = argument == "--ticks" ? &options.ticks
                      : argument == "--every" ? &options.every
                      : argument == "--warm-up" ? &options.warmUp
                                               : nullptr;
        if (count && i + 1 < argc) {
            char* end = nullptr;
            *count = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || *count < 1) return false;
        } else if (!argument.starts_with("--")) {
            options.products = argument;
        } else {
            return false;
        }
    }
    return true;
}

// -- what the process holds

// A field of /proc/self/status ("VmRSS", "Threads").
long statusField(std::string_view name) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(name) && line.size() > name.size() && line[name.size()] == ':') {
            return std::strtol(line.c_str() + name.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

long openDescriptors() {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return -1;
    long count = 0;
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(folder);
    return count - 1;  // the one reading the folder
}

// Child processes of this one, and how many of them have ended unreaped.
struct Children {
    long all = 0;
    long zombies = 0;
};

Children children() {
    Children found;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return found;
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
        std::string stat;
        std::getline(in, stat);
        // pid (command) state ppid ...; the command may hold spaces and parentheses.
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 1));
        char state = 0;
        long parent = 0;
        rest >> state >> parent;
        if (parent != getpid()) continue;
        ++found.all;
        if (state == 'Z') ++found.zombies;
    }
    closedir(proc);
    return found;
}

struct Reading {
    long rssKb;
    long descriptors;
    long threads;
    long objects;
    Children children;
};

Reading take() {
    AutoreleasePool pool;
    // Qt's idle pooled threads (each with a descriptor) end after a while
    // on their own; and freed heap the allocator still holds is not growth.
    QThreadPool::globalInstance()->waitForDone();
    malloc_trim(0);
    return {statusField("VmRSS"), openDescriptors(), statusField("Threads"), Object::liveObjectCount(), children()};
}

// -- the panes

// Reads a key again on every did-change announcement, as a bound control
// does; the panes bind only some of the six keys.
class KeyReader final : public KeyValueObserver {
public:
    void observeDidChangeValueForKey(Object& object, const std::string& key) override {
        AutoreleasePool pool;
        object.valueForKey(key);
        ++reads;
    }
    long reads = 0;
};

bool isPayloadController(const Object& object) {
    return object.objectClass().getterForKey("payloadSystemSummary") != nullptr &&
           object.respondsToSelector("installPayload:");
}

bool boolKey(Object& object, const char* key) {
    const Ref<Object> value = object.valueForKey(key);
    const Number* number = objectAs<Number>(value.get());
    return number && number->boolValue();
}

// Waits (real time) for the privileged run that the helper started to
// finish; the action returns once the helper's first run has ended.
bool waitFor(Object& controller, const char* key, bool wanted) {
    for (int i = 0; i < 30 * 50; ++i) {
        {
            AutoreleasePool pool;
            if (boolKey(controller, key) == wanted) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string helperStatus(Object& controller) {
    const Ref<Object> tool = controller.valueForKey("privetToolController");
    const Ref<Object> status = tool ? tool->valueForKey("helperTerminationStatus") : nullptr;
    const Number* number = objectAs<Number>(status.get());
    return number ? std::to_string(number->integerValue()) : "none";
}

// Install or Remove, as the pane's buttons send them.
bool act(Object& controller, const std::string& name, bool install) {
    AutoreleasePool pool;
    if (boolKey(controller, "payloadInstalled") == install) {
        std::fprintf(stderr, "endurance: %s is %s already\n", name.c_str(), install ? "installed" : "absent");
        return false;
    }
    controller.performSelector(install ? "installPayload:" : "removePayload:", nullptr);
    if (!waitFor(controller, install ? "payloadInstalledAndUpToDate" : "payloadInstalled", install)) {
        std::fprintf(stderr, "endurance: %s of %s did not complete (helper status %s)\n",
                     install ? "Install" : "Remove", name.c_str(), helperStatus(controller).c_str());
        return false;
    }
    return true;
}

// One second of the panes' life: every refresh timer fires once, in the
// mode the event loop is in, then the event loop does what the ticks left
// for it.
void tick(RunLoop& loop) {
    AutoreleasePool pool;
    loop.runMode_beforeDate(EventLoopBridge::currentMode(), RunLoop::now() + 1.0);
    QCoreApplication::processEvents();
}

void progress(const char* phase, long done, long total, double seconds) {
    const Reading now = take();
    std::fprintf(stderr, "endurance: %s %ld/%ld ticks, %ld kB resident, %ld descriptors, %ld threads, %ld objects",
                 phase, done, total, now.rssKb, now.descriptors, now.threads, now.objects);
    std::fprintf(stderr, ", %.0f ticks/s\n", seconds > 0 ? done / seconds : 0.0);
}

double since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fputs("usage: endurance_benchmark [--ticks N] [--every N] [--warm-up N] [PRODUCTS]\n", stderr);
        return 2;
    }
    if (geteuid() != 0 || std::getenv("PRIVET_TEST_SANDBOX") == nullptr) {
        std::fputs("endurance: installs for real: run it as root in the sandbox (tests/support/sandbox-exec)\n",
                   stderr);
        return 77;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    FakeRunLoopClock clock;  // before the panes, whose timers start when they load
    RunLoop& loop = *RunLoop::currentRunLoop();
    // As in the preferences application; it re-arms its Qt timer whenever
    // a tick moves a fire date, and drains the main queue.
    EventLoopBridge bridge;

    struct Pane {
        std::unique_ptr<PaneSlot> slot;
        std::string installable;  // the payload its Install button acts on
    };
    std::vector<Pane> panes;
    panes.push_back({std::make_unique<PaneSlot>(options.products + "/SidelightPane.prefPane"), "camera"});
    panes.push_back({std::make_unique<PaneSlot>(options.products + "/KestrelPrefs.prefPane"), "digitizer"});
    KeyReader reader;
    std::vector<Object*> observed;
    for (Pane& pane : panes) {
        if (!pane.slot->load()) {
            std::fprintf(stderr, "endurance: %s: %s\n", pane.slot->path().c_str(), pane.slot->error().c_str());
            return 1;
        }
        pane.slot->pane()->willSelect();
        pane.slot->view()->show();
        pane.slot->pane()->didSelect();
        for (const auto& [name, object] : pane.slot->pane()->loadedNib()->namedObjects()) {
            if (!isPayloadController(*object)) continue;
            for (const char* key : kPrivetStatusKeys) object->addObserver_forKeyPath(&reader, key);
            observed.push_back(object);
        }
    }

    // A stretch of ticks: the first half with the payload of one pane
    // absent, the second with it installed; each pane's in turn.
    long installs = 0;
    std::size_t next = 0;
    double ticking = 0;
    auto stretch = [&](long ticks) {
        Pane& pane = panes[next++ % panes.size()];
        Object* controller = pane.slot->pane()->loadedNib()->objectNamed(pane.installable);
        if (controller == nullptr) return false;
        auto run = [&](long count) {
            const auto start = std::chrono::steady_clock::now();
            for (long i = 0; i < count; ++i) tick(loop);
            ticking += since(start);
        };
        run(ticks / 2);
        if (!act(*controller, pane.installable, true)) return false;
        run(ticks - ticks / 2);
        if (!act(*controller, pane.installable, false)) return false;
        ++installs;
        return true;
    };

    // Warm-up: one-time caches fill, and each pane installs and removes once.
    for (std::size_t i = 0; i < panes.size(); ++i) {
        if (!stretch(options.warmUp / static_cast<long>(panes.size()))) return 1;
    }
    progress("warm-up", options.warmUp, options.warmUp, ticking);
    installs = 0;
    ticking = 0;
    const long readsBefore = reader.reads;

    const Reading before = take();
    const auto start = std::chrono::steady_clock::now();
    for (long done = 0; done < options.ticks;) {
        const long ticks = std::min(options.every, options.ticks - done);
        if (!stretch(ticks)) return 1;
        done += ticks;
        progress("run", done, options.ticks, ticking);
    }
    const double elapsed = since(start);
    const Reading after = take();

    for (Object* object : observed) {
        for (const char* key : kPrivetStatusKeys) object->removeObserver_forKeyPath(&reader, key);
    }

    std::printf("rss_before_kb,kB,%ld\n", before.rssKb);
    std::printf("rss_after_kb,kB,%ld\n", after.rssKb);
    std::printf("rss_growth_kb,kB,%ld\n", after.rssKb - before.rssKb);
    std::printf("fds_before,count,%ld\n", before.descriptors);
    std::printf("fds_after,count,%ld\n", after.descriptors);
    std::printf("threads_before,count,%ld\n", before.threads);
    std::printf("threads_after,count,%ld\n", after.threads);
    std::printf("objects_before,count,%ld\n", before.objects);
    std::printf("objects_after,count,%ld\n", after.objects);
    std::printf("children_after,count,%ld\n", after.children.all);
    std::printf("zombies_after,count,%ld\n", after.children.zombies);
    std::printf("ticks,count,%ld\n", options.ticks);
    std::printf("installs,count,%ld\n", installs);
    std::printf("ticks_per_second,1/s,%.0f\n", options.ticks / ticking);
    std::printf("seconds,s,%.1f\n", elapsed);
    std::fflush(stdout);

    // Every tick re-reads the six keys of each supported payload controller,
    // of which each pane has one at least.
    const long reads = reader.reads - readsBefore;
    bool met = true;
    auto check = [&](bool ok, const std::string& what) {
        if (!ok) std::fprintf(stderr, "endurance: %s\n", what.c_str());
        met = met && ok;
    };
    check(reads >= options.ticks * 6 * static_cast<long>(panes.size()),
          "the refresh ticks stopped: " + std::to_string(reads) + " key reads");
    check(after.rssKb - before.rssKb < kRssTargetKb,
          "resident memory grew by " + std::to_string(after.rssKb - before.rssKb) + " kB");
    check(after.descriptors <= before.descriptors,
          std::to_string(after.descriptors - before.descriptors) + " descriptors left open");
    check(after.threads <= before.threads, std::to_string(after.threads - before.threads) + " threads left running");
    check(after.objects <= before.objects, std::to_string(after.objects - before.objects) + " objects left alive");
    check(after.children.zombies == 0, std::to_string(after.children.zombies) + " ended helpers not reaped");
    std::fprintf(stderr, "endurance: %ld ticks and %ld installs in %.1f s (%.0f ticks/s): %s\n", options.ticks,
                 installs, elapsed, options.ticks / ticking, met ? "no growth" : "GROWTH");
    return met ? 0 : 1;
}
