#pragma once

// What the privileged launcher will start as the superuser: an install
// helper's privileged run, and nothing else.

#include "Security/LauncherProtocol.h"

#include <string>

struct LaunchVerdict {
    std::string executable;  // the helper's resolved path, when accepted
    std::string refusal;     // why the request is refused; empty when accepted
};

// Accepts a request only for a file named KestrelInstallHelper or
// OspreyInstallHelper with exactly the privileged run's arguments (its own
// path, "--self-repair", "install" or "delete", a known location name, an
// absolute source path), and only when neither the file nor any folder
// above it can be changed by anyone but root.
LaunchVerdict judgeLaunchRequest(const platform::launcher::Request& request);
