#pragma once

// The six keys of a payload controller that a pane shows, in the order a
// report lists them. Header only: programs that load the panes as bundles
// (and so do not link this library) name the keys through it too.
inline constexpr const char* kPrivetStatusKeys[] = {
    "payloadInstalled",     "payloadInstalledAndUpToDate", "payloadInstalledLocation", "payloadInstalledLocationFolder",
    "payloadSystemSummary", "payloadSourceSummary"};
