#pragma once

// The KestrelPrefs pane carries the payload library under class names of its
// own; it compiles these sources with PRIVET_KESTRELPREFS_BUILD defined.
#ifdef PRIVET_KESTRELPREFS_BUILD
#define PrivetTool KestrelPrefs_PrivetToolBase
#define PrivetToolController KestrelPrefs_PrivetToolController_Base
#define PrivetBundlePayloadController KestrelPrefs_PrivetBundlePayloadController_Base
#endif

// The runtime name of a class, as this build spells it.
#define PRIVET_CLASS_NAME(cls) PRIVET_CLASS_NAME_TEXT(cls)
#define PRIVET_CLASS_NAME_TEXT(cls) #cls

// What a pane exports of the payload library: its link anchors.
#define PRIVET_EXPORT __attribute__((visibility("default")))
