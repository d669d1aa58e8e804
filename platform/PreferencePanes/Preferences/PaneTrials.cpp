#include "PreferencePanes/Preferences/PaneTrials.h"

#include "AppKit/ActionBoundary.h"
#include "Foundation/Log.h"
#include "Foundation/SystemCall.h"
#include "PreferencePanes/PaneTrial.h"
#include "PreferencePanes/PreferencePane.h"
#include "PreferencePanes/Preferences/PaneSlot.h"
#include "objc/AutoreleasePool.h"

#include <QApplication>
#include <QTimer>

#include <signal.h>
#include <sys/socket.h>

#include <cerrno>

namespace platform {
namespace {

// A request is a pane's path; an answer is the path, a zero byte, and why
// the pane failed (nothing when it came through). One of each per packet.
constexpr std::size_t kPacketLimit = 64 * 1024;

// In the child of a try: the pane as the window would take it, offscreen.
// What it makes is left standing: the child ends as soon as its answer is
// out, and a pane's teardown is no part of its try (Preferences keeps a pane
// for its whole life).
std::string tryPaneHere(const std::string& path, TrialSteps& steps) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "Preferences";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    new AutoreleasePool;
    auto* slot = new PaneSlot(path);
    if (slot->load([&](std::string_view step) { steps.begin(step); })) {
        steps.begin("being selected");
        // What these raise the window shows in an alert; here only the end counts.
        runCatching([&] { slot->pane()->performSelector("willSelect", nullptr); });
        runCatching([&] { slot->pane()->performSelector("didSelect", nullptr); });
    }
    return {};
}

// The server: answers each request in turn until the window's end of the
// socket closes.
int serve(int socket) {
    std::string packet(kPacketLimit, '\0');
    for (;;) {
        const ErrorOr<std::size_t> got = sys::recv(socket, packet.data(), packet.size(), 0);
        if (got.isError() || got.value() == 0) return 0;
        const std::string path(packet.data(), got.value());
        const TrialEnd end = runInProcessOfItsOwn([&](TrialSteps& steps) { return tryPaneHere(path, steps); });
        std::string answer = path;
        answer.push_back('\0');
        answer += end.failure;
        if (sys::send(socket, answer, MSG_NOSIGNAL).isError()) return 0;
    }
}

} // namespace

PaneTrials::PaneTrials() {
    ErrorOr<sys::SocketPair> ends = sys::socketpair(AF_UNIX, SOCK_SEQPACKET);
    if (ends.isError()) {
        startError_ = "could not be tried: " + ends.error().describe();
        return;
    }
    Descriptor ours = std::move(ends.value().ours);
    const Descriptor theirs = std::move(ends.value().theirs);
    ProcessStart start;
    start.diesWithStarter = true;
    start.passedDescriptor = theirs.get();
    if (ErrorOr<ChildProcess> server = startForkedProcess(start, [] { return serve(kPassedDescriptor); });
        !server.isError()) {
        server_.emplace(server.releaseValue());
        socket_ = std::move(ours);
    } else {
        startError_ = "could not be tried: " + server.error().describe();
    }
}

PaneTrials::~PaneTrials() {
    delete notifier_.data();
    if (server_) {
        // Ended at once: a try under way is of no use any more, and its
        // child dies with the server.
        server_->sendSignal(SIGKILL);
        server_->waitUntilEnded();
    }
}

ErrorOr<void> PaneTrials::ask(const std::string& path) {
    TRY(sys::send(socket_.get(), path, MSG_NOSIGNAL));
    return {};
}

void PaneTrials::tryEarly(const std::string& path) {
    if (!socket_ || path.empty() || waiting_.count(path) != 0) return;
    if (!ask(path).isError()) waiting_[path];
}

void PaneTrials::tryPane(const std::string& path, std::function<void(std::string failure)> done) {
    if (!socket_) {
        QTimer::singleShot(0, [done = std::move(done), why = startError_] { done(why); });
        return;
    }
    if (notifier_ == nullptr) {
        notifier_ = new QSocketNotifier(socket_.get(), QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] { readAnswers(); });
    }
    const bool asked = waiting_.count(path) != 0;
    waiting_[path].push_back(std::move(done));
    if (asked) return;
    if (const ErrorOr<void> sent = ask(path); sent.isError()) failAll("could not be tried: " + sent.error().describe());
}

void PaneTrials::readAnswers() {
    std::string packet(kPacketLimit, '\0');
    const ErrorOr<std::size_t> got = sys::recv(socket_.get(), packet.data(), packet.size(), MSG_DONTWAIT);
    if (got.isError() && (got.error().code() == EAGAIN || got.error().code() == EWOULDBLOCK)) return;
    if (got.isError() || got.value() == 0) {
        failAll("could not be tried: the process that tries panes has ended");
        return;
    }
    packet.resize(got.value());
    const std::size_t split = packet.find('\0');
    if (split == std::string::npos) return;
    const auto found = waiting_.find(packet.substr(0, split));
    if (found == waiting_.end()) return;
    std::vector<std::function<void(std::string)>> callers = std::move(found->second);
    waiting_.erase(found);
    for (const auto& caller : callers) caller(packet.substr(split + 1));
}

void PaneTrials::failAll(const std::string& why) {
    NSLogText("Panes cannot be tried: " + why, LogPriority::Error);
    if (notifier_) notifier_->setEnabled(false);
    socket_.reset();
    startError_ = why;
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (auto& [path, callers] : waiting) {
        for (const auto& caller : callers) caller(why);
    }
}

} // namespace platform
