#pragma once

#include "support/TempDir.h"

#include <unistd.h>

#include <cstdio>
#include <fcntl.h>
#include <string>

namespace testsupport {

// Sends this process's standard error to a file while it lives.
class StderrCapture {
public:
    StderrCapture() : file_(dir_ / "stderr") {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int fd = open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrCapture() { restore(); }

    // What was written so far; ends the capture.
    std::string finish() {
        restore();
        return readFile(file_);
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
    }

    TempDir dir_;
    std::string file_;
    int saved_ = -1;
};

} // namespace testsupport
