#include "Foundation/Array.h"
#include "Foundation/Exception.h"
#include "Foundation/Number.h"
#include "Foundation/ProcessStart.h"
#include "Foundation/ProcessStatus.h"
#include "Foundation/String.h"
#include "Foundation/SystemCall.h"
#include "Foundation/Task.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace platform;
using testsupport::TempDir;

namespace {

// A shell script that records its arguments, working directory and one
// environment variable, then exits with the status given in $EXIT_WITH.
std::string writeRecorder(const TempDir& dir) {
    const std::string script = dir / "record.sh";
    testsupport::writeFile(script,
                           "#!/bin/sh\n"
                           "out=\"$(dirname \"$0\")/record.txt\"\n"
                           "printf '%s\\n' \"$0\" \"$@\" > \"$out\"\n"
                           "printf 'cwd=%s\\nenv=%s\\n' \"$(pwd)\" \"$TASK_TEST_VALUE\" >> \"$out\"\n"
                           "exit ${EXIT_WITH:-0}\n");
    chmod(script.c_str(), 0755);
    return script;
}

Ref<Array> strings(std::initializer_list<const char*> texts) {
    std::vector<Ref<Object>> list;
    for (const char* text : texts) list.push_back(make<String>(text));
    return make<Array>(std::move(list));
}

void expectLaunchRaisesInvalidArgument(const String* path, const Array* arguments) {
    try {
        Task::launchedTaskWithLaunchPath_arguments(path, arguments);
        FAIL() << "the task started";
    } catch (const RaisedException& raised) {
        EXPECT_TRUE(raised.name()->isEqualToString(NSInvalidArgumentException)) << raised.what();
    }
}

} // namespace

TEST(TaskLaunch, PassesArgumentsAndInheritsEnvironmentAndWorkingDirectory) {
    TempDir dir;
    const std::string script = writeRecorder(dir);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    setenv("TASK_TEST_VALUE", "inherited", 1);

    Ref<Task> task = Task::launchedTaskWithLaunchPath_arguments(
        make<String>(script).get(), strings({script.c_str(), "install", "Library.QuickTime", "/p/a b/Cam.plugin"}).get());
    task->waitUntilExit();
    std::filesystem::current_path(previous);
    unsetenv("TASK_TEST_VALUE");

    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->terminationStatus(), 0);
    EXPECT_EQ(testsupport::readFile(dir / "record.txt"),
              script + "\n" + script + "\ninstall\nLibrary.QuickTime\n/p/a b/Cam.plugin\ncwd=" + dir.path().string() +
                  "\nenv=inherited\n");
}

TEST(TaskLaunch, RunningUntilTheChildEnds) {
    Ref<Task> task = Task::launchedTaskWithLaunchPath_arguments(make<String>("/bin/sleep").get(),
                                                                strings({"0.3"}).get());
    EXPECT_TRUE(task->isRunning());
    EXPECT_GT(task->processIdentifier(), 0);
    EXPECT_THROW(task->terminationStatus(), RaisedException);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (task->isRunning() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(task->isRunning());
    EXPECT_FALSE(task->isRunning());  // stays ended once reaped
    EXPECT_EQ(task->terminationStatus(), 0);
}

TEST(TaskLaunch, ReportsTheExitStatus) {
    TempDir dir;
    const std::string script = writeRecorder(dir);
    setenv("EXIT_WITH", "155", 1);
    Ref<Task> task = Task::launchedTaskWithLaunchPath_arguments(make<String>(script).get(), nullptr);
    unsetenv("EXIT_WITH");
    task->waitUntilExit();
    EXPECT_EQ(task->terminationStatus(), 155);
}

TEST(TaskLaunch, AStartFailureRaisesInvalidArgument) {
    TempDir dir;
    testsupport::writeFile(dir.path() / "not-executable", "#!/bin/sh\n");
    chmod((dir / "not-executable").c_str(), 0644);

    expectLaunchRaisesInvalidArgument(make<String>("errorNoToolPath").get(), nullptr);
    expectLaunchRaisesInvalidArgument(make<String>(dir / "missing").get(), nullptr);
    expectLaunchRaisesInvalidArgument(make<String>(dir / "not-executable").get(), nullptr);
    expectLaunchRaisesInvalidArgument(make<String>(dir.path().string()).get(), nullptr);
    expectLaunchRaisesInvalidArgument(nullptr, nullptr);
}

TEST(TaskLaunch, ArgumentsThatAreNotStringsRaise) {
    std::vector<Ref<Object>> mixed{make<String>("ok"), Number::numberWithInteger(1)};
    expectLaunchRaisesInvalidArgument(make<String>("/bin/true").get(), make<Array>(std::move(mixed)).get());
}

namespace {

// Starts a child that reports on `into` its blocked and ignored signals and
// whether descriptor `fd` is open in it; empty once it ran, else what failed.
std::string startedState(int into, int fd) {
    ProcessStart start{.path = "/bin/sh",
                       .arguments = {"/bin/sh", "-c",
                                     "grep -E '^Sig(Ign|Blk)' /proc/self/status; [ -e /proc/self/fd/" +
                                         std::to_string(fd) + " ] && echo open || echo closed"},
                       .standardOutput = into};
    ErrorOr<ChildProcess> child = startProcess(start);
    if (child.isError()) return child.error().describe();
    child.value().waitUntilEnded();
    return child.value().exitStatus() == 0 ? "" : "failed";
}

} // namespace

// Whatever the starter ignores, blocks or holds open, a child begins clean
// (but an ignored SIGPIPE, which the root side keeps for its steps).
TEST(ProcessStartTest, AChildTakesNoSignalStateAndNoDescriptorFromItsStarter) {
    TempDir dir;
    const int report = open((dir / "report").c_str(), O_WRONLY | O_CREAT, 0600);
    const int inherited = open("/dev/null", O_RDONLY);  // not close-on-exec
    sigset_t blocked, before;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &blocked, &before);
    struct sigaction ignore{}, term{}, pipe{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGTERM, &ignore, &term);
    sigaction(SIGPIPE, &ignore, &pipe);

    EXPECT_EQ(startedState(report, inherited), "");

    sigaction(SIGTERM, &term, nullptr);
    sigaction(SIGPIPE, &pipe, nullptr);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    close(inherited);
    close(report);
    EXPECT_EQ(testsupport::readFile(dir / "report"),
              "SigBlk:\t0000000000000000\nSigIgn:\t0000000000001000\nclosed\n");  // 0x1000: SIGPIPE alone
}

// With SIGCHLD ignored the kernel reaps every child itself: no status can be
// read, and a step that cannot be read never counts as succeeded.
TEST(ProcessStartTest, AnEndThatCannotBeReadIsNoSuccess) {
    struct sigaction ignore{}, before{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGCHLD, &ignore, &before);
    Ref<Task> task = Task::launchedTaskWithLaunchPath_arguments(make<String>("/bin/true").get(), nullptr);
    task->waitUntilExit();
    sigaction(SIGCHLD, &before, nullptr);
    EXPECT_EQ(task->terminationStatus(), -1);
}

// A child that dies with its starter is killed once the starting thread ends.
TEST(ProcessStartTest, AChildThatDiesWithItsStarterEndsWithTheStartingThread) {
    std::optional<ChildProcess> child;
    std::thread([&] {
        // A start that fails would end this test at the dereference.
        child.emplace(
            startProcess({.path = "/bin/sleep", .arguments = {"/bin/sleep", "30"}, .diesWithStarter = true}).releaseValue());
    }).join();
    ASSERT_TRUE(child);
    const auto started = std::chrono::steady_clock::now();
    child->waitUntilEnded();
    EXPECT_EQ(child->exitStatus(), 128 + SIGKILL);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// What a scope starts, and what that starts in turn, is one process group
// of its own, which is signalled as a whole.
TEST(ProcessStartTest, AStartedGroupHoldsWhatItsProgramsStartAndIsEndedAsAWhole) {
    std::optional<ChildProcess> first;
    std::optional<ChildProcess> second;
    StartedGroup group;
    EXPECT_FALSE(group.signal(0));  // nothing started yet
    platform::ErrorOr<platform::sys::Pipe> said = platform::sys::pipe();
    ASSERT_FALSE(said.isError());
    first.emplace(startProcess({.path = "/bin/sh",
                                .arguments = {"/bin/sh", "-c", "sleep 30 & echo $!; wait"},
                                .standardOutput = said.value().writing.get()})
                      .releaseValue());
    said.value().writing.reset();
    second.emplace(startProcess({.path = "/bin/sleep", .arguments = {"/bin/sleep", "30"}}).releaseValue());
    const pid_t grandchild = std::stoi("0" + platform::sys::readUpTo(said.value().reading.get(), 32, true));
    EXPECT_EQ(getpgid(first->pid()), first->pid());
    EXPECT_EQ(getpgid(second->pid()), first->pid());
    EXPECT_EQ(getpgid(grandchild), first->pid());
    EXPECT_NE(getpgrp(), first->pid());

    EXPECT_TRUE(group.signal(SIGTERM));
    first->waitUntilEnded();
    second->waitUntilEnded();
    EXPECT_EQ(first->endingSignal(), SIGTERM);
    EXPECT_EQ(second->endingSignal(), SIGTERM);
}

// A wrapped call names itself and its errno when it fails, goes on where a
// signal interrupted it, and hands back descriptors that are close-on-exec.
TEST(SystemCallTest, AFailureNamesItsCallAndAnInterruptedCallGoesOn) {
    const platform::ErrorOr<void> refused = platform::sys::kill(0x7ffffff0, 0);
    ASSERT_TRUE(refused.isError());
    EXPECT_EQ(refused.error().describe(), "kill: No such process");
    EXPECT_EQ(refused.error().code(), ESRCH);

    platform::ErrorOr<platform::sys::Pipe> pipe = platform::sys::pipe();
    ASSERT_FALSE(pipe.isError());
    const platform::ErrorOr<platform::Descriptor> copy = platform::sys::duplicate(pipe.value().writing.get(), 40);
    ASSERT_FALSE(copy.isError());
    EXPECT_GE(copy.value().get(), 40);
    EXPECT_EQ(fcntl(copy.value().get(), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    EXPECT_EQ(platform::sys::statusFlags(copy.value().get()).value() & O_ACCMODE, O_WRONLY);
    EXPECT_EQ(platform::sys::statusFlags(pipe.value().reading.get()).value() & O_ACCMODE, O_RDONLY);

    // A handler without SA_RESTART interrupts the poll twice before the pipe has something.
    struct sigaction interrupting{};
    interrupting.sa_handler = [](int) {};
    struct sigaction before{};
    ASSERT_EQ(sigaction(SIGUSR1, &interrupting, &before), 0);
    const pthread_t waiting = pthread_self();
    std::thread other([&] {
        for (int n = 0; n < 2; ++n) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            pthread_kill(waiting, SIGUSR1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        (void)platform::sys::writeAll(copy.value().get(), "x");
    });
    pollfd ready{pipe.value().reading.get(), POLLIN, 0};
    const platform::ErrorOr<int> count = platform::sys::poll(&ready, 1, 5000);
    other.join();
    sigaction(SIGUSR1, &before, nullptr);
    ASSERT_FALSE(count.isError()) << count.error().describe();
    EXPECT_EQ(count.value(), 1);
}

// A program's name may hold blanks and parentheses; the fields after it are
// still read in their places.
TEST(ProcessStatusTest, FieldsAreReadPastANameThatLooksLikeThem) {
    TempDir dir;
    const std::filesystem::path program = dir.path() / "a) 1 2 (b";
    std::filesystem::copy_file("/bin/sleep", program);
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("30"), nullptr};
    char* noEnvironment[] = {nullptr};
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, noEnvironment), 0);
    const auto fields = processStatusFields(child);
    ASSERT_TRUE(fields);
    ASSERT_GT(fields->size(), 19u);
    EXPECT_EQ((*fields)[1], std::to_string(getpid()));  // the parent
    EXPECT_EQ(processForPolkit(child), std::to_string(child) + "," + (*fields)[19]);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(processStatusFields(child));
}
