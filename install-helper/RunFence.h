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
// removal; a private mount namespace in which everything else is read-only
// fences modes and owners; no new privileges can be gained; of the
// superuser's capabilities only those the steps use are kept. Reading stays
// as it is. A mechanism this kernel lacks is logged once and left out.
// False, and logged, when the folders cannot be made or opened, or the
// namespace was left half made: the run must not act then.
bool fenceRun(const HelperIdentity& identity, const std::string& library, const std::string& folder);
