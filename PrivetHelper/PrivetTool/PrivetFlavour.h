#pragma once

#include <array>

// What sets one build of the payload library apart from another: the names
// its classes register under and the few ways its payload controller
// behaves. Each library links exactly one choice (flavours/*.cpp).
struct PrivetFlavour {
    // Runtime names of the code classes.
    const char* toolClassName;
    const char* toolControllerClassName;
    const char* payloadControllerClassName;
    // Owners of the name-only pane classes, "<owner>_PrivetToolController" and
    // "<owner>_PrivetBundlePayloadController"; a null slot names none.
    std::array<const char*, 2> paneClassOwners;
    // A payload controller keeps its own copy of a FileName or SystemLocation
    // (else the very object it is given).
    bool copiesStrings;
    // The "disableLP64" key exists and a true number in it marks the payload
    // as not supported by this build.
    bool hasArchitectureGate;
    // A bundle that cannot be read or a version mismatch is logged.
    bool logsBundleTrouble;
    // The line the refresher's assertion names: each pane has always reported
    // its own, and a log reader may match on it.
    long refresherAssertionLine;
};

inline constexpr PrivetFlavour kPlainFlavour{
    .toolClassName = "PrivetTool",
    .toolControllerClassName = "PrivetToolController",
    .payloadControllerClassName = "PrivetBundlePayloadController",
    .paneClassOwners = {"KestrelPrefs", "OspreyPrefs"},
    .copiesStrings = true,
    .hasArchitectureGate = true,
    .logsBundleTrouble = true,
    .refresherAssertionLine = 158,
};

inline constexpr PrivetFlavour kKestrelPrefsFlavour{
    .toolClassName = "KestrelPrefs_PrivetToolBase",
    .toolControllerClassName = "KestrelPrefs_PrivetToolController_Base",
    .payloadControllerClassName = "KestrelPrefs_PrivetBundlePayloadController_Base",
    .paneClassOwners = {"KestrelPrefs", nullptr},
    .copiesStrings = false,
    .hasArchitectureGate = false,
    .logsBundleTrouble = false,
    .refresherAssertionLine = 132,
};

// The flavour this library carries.
extern const PrivetFlavour& kPrivetFlavour;

// What a pane exports of the payload library: its link anchors.
#define PRIVET_EXPORT __attribute__((visibility("default")))
