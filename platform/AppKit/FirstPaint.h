#pragma once

#include <string>

class QWidget;

namespace platform {

// A probe for start-up benchmarks, off unless the environment variable
// PRIVET_FIRST_PAINT_FD names an open file descriptor. When on, the
// program writes one line to that descriptor, the CLOCK_MONOTONIC time in
// nanoseconds at which the watched widget was first painted and the frame
// that holds it handed to the window system, then quits.
struct FirstPaintProbe {
    int fd = -1;        // -1: not asked for
    std::string error;  // set when the variable is there but unusable

    // Reads the variable and takes it out of the environment, so that
    // programs started later do not report too.
    static FirstPaintProbe fromEnvironment();

    // After the first paint event of `widget`, once the paint pass that
    // delivered it has ended, writes the line and ends the event loop with
    // `exitStatus`.
    void watch(QWidget* widget, int exitStatus) const;
};

} // namespace platform
