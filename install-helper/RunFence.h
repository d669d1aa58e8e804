#pragma once

// The fence of the privileged run: set up once its checks have passed and
// before its first step, it holds for the run and everything it starts.

#include "HelperTool.h"

#include <string>

// Afterwards nothing the run or the programs it starts do can write, create,
// remove or rename anything, nor change a mode or an owner, outside the
// folder it works in: `folder` (where the destination lies), or the deepest
// folder of it that exists yet, once `library` (the Library folder holding
// it) has been made when missing. Landlock fences writes, creation and
// removal, TCP, abstract sockets and signals; a private mount namespace in
// which everything else is read-only fences modes and owners, and shows
// empty /run, /tmp and /var/tmp (but for the journal's socket and `source`,
// the payload being copied, when it lies there) and a /dev of null, zero and
// urandom; a network namespace of its own has no interface; no new
// privileges can be gained; of the superuser's capabilities only those the
// steps use are kept. Reading stays as it is.
// A mechanism this kernel lacks is logged once and left out. False, and
// logged, when the folders cannot be made or opened or a call of a
// mechanism the kernel has failed: the run must not act then.
bool fenceRun(const HelperIdentity& identity, const std::string& library, const std::string& folder,
              const std::string& source = {});
