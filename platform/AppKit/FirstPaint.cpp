#include "AppKit/FirstPaint.h"

#include "Foundation/SystemCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QWidget>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* kVariable = "PRIVET_FIRST_PAINT_FD";

// Sees the watched widget's first paint event. Widgets are painted and
// flushed to the window in one go, inside the event that asked for it, so
// a call queued from there runs once the frame is complete.
class FirstPaintFilter final : public QObject {
public:
    FirstPaintFilter(QWidget* widget, int fd, int exitStatus) : QObject(widget), fd_(fd), exitStatus_(exitStatus) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(this, [this] { report(); }, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void report() const {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        char line[32];
        const long long nanoseconds = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
        char* end = std::to_chars(line, line + sizeof line - 1, nanoseconds).ptr;
        *end++ = '\n';
        (void)sys::writeAll(fd_, std::string_view(line, static_cast<std::size_t>(end - line)));
        QCoreApplication::exit(exitStatus_);
    }

    int fd_;
    int exitStatus_;
    bool seen_ = false;
};

} // namespace

FirstPaintProbe FirstPaintProbe::fromEnvironment() {
    FirstPaintProbe probe;
    const char* value = std::getenv(kVariable);
    if (value == nullptr) return probe;
    const std::string_view text(value);
    int fd = -1;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), fd);
    if (text.empty() || failure != std::errc() || end != text.data() + text.size() || fd < 0) {
        probe.error = std::string(kVariable) + " must be a file descriptor number, not \"" + std::string(text) + "\"";
    } else if (const platform::ErrorOr<int> flags = platform::sys::statusFlags(fd);
               flags.isError() || (flags.value() & O_ACCMODE) == O_RDONLY) {
        probe.error = std::string(kVariable) + "=" + std::string(text) + " is not a file descriptor open for writing";
    } else {
        probe.fd = fd;
    }
    unsetenv(kVariable);
    return probe;
}

void FirstPaintProbe::watch(QWidget* widget, int exitStatus) const {
    if (fd < 0 || widget == nullptr) return;
    widget->installEventFilter(new FirstPaintFilter(widget, fd, exitStatus));
}

} // namespace platform
