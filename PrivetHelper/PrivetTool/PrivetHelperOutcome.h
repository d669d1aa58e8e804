#pragma once

#include <string>

// Why an Install or Remove did not complete, in words a user can act on,
// from how the helper it started ended: the low eight bits of the
// authorization status it returned, or 128 and the signal that ended it.
// Shared by the panes and pane-status, which says the same on a terminal.
std::string whyTheHelperFailed(int terminationStatus);
