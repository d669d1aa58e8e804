#pragma once

#include <string>

// The temporary pane bundle whose Contents/Linux holds the tests' image
// (with Contents/Resources, PlugIns and Helpers folders, empty at first).
const std::string& testPaneBundlePath();
