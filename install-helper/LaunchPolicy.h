#pragma once

// What the privileged launcher will start as the superuser: an install
// helper's privileged run, and nothing else.

#include "Security/LauncherProtocol.h"

#include <string>

struct LaunchVerdict {
    std::string executable;  // the helper's resolved path, when accepted
    std::string refusal;     // the rule that refused it; empty when accepted
};

// Accepts a request only for one of the product's own helpers with exactly
// the privileged run's arguments (its own path, "--self-repair", "install"
// or "delete", a known location name, an absolute source path): a file
// named KestrelInstallHelper or OspreyInstallHelper in the Contents/Helpers
// folder of a bundle directly inside `product` (the folder the product was
// installed to), once every link is resolved; on the file system of
// `product`, not mounted nosuid; an executable that neither it nor any
// folder above it can be changed by anyone but root. A refusal names the
// rule, never what the file system holds.
LaunchVerdict judgeLaunchRequest(const platform::launcher::Request& request, const std::string& product);
