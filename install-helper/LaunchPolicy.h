#pragma once

// What the privileged launcher will start as the superuser: an install
// helper's privileged run, and nothing else.

#include "Foundation/ErrorOr.h"
#include "Security/LauncherProtocol.h"

#include <string>

// Accepts a request only for one of the product's own helpers with exactly
// the privileged run's arguments (its own path, "--self-repair", "install"
// or "delete", a known location name, an absolute source path): a file
// named KestrelInstallHelper or OspreyInstallHelper in the Contents/Helpers
// folder of a bundle directly inside `product` (the folder the product was
// installed to), once every link is resolved; on the file system of
// `product`, not mounted nosuid; an executable that neither it nor any
// folder above it can be changed by anyone but root. A refusal names the
// rule, never what the file system holds. Accepted: the helper's resolved path.
platform::ErrorOr<std::string> judgeLaunchRequest(const platform::launcher::Request& request, const std::string& product);
