#pragma once

// The class names under which a deliverable's interface files find the
// payload library: subclasses of its code classes that add nothing but a name.

#include "PrivetTool/PrivetBundlePayloadController.h"
#include "PrivetTool/PrivetToolController.h"

class KestrelPrefs_PrivetBundlePayloadController final : public PrivetBundlePayloadController {
public:
    PLATFORM_CLASS_RECORD
};

class KestrelPrefs_PrivetToolController final : public PrivetToolController {
public:
    PLATFORM_CLASS_RECORD
};

#ifndef PRIVET_KESTRELPREFS_BUILD

class OspreyPrefs_PrivetBundlePayloadController final : public PrivetBundlePayloadController {
public:
    PLATFORM_CLASS_RECORD
};

class OspreyPrefs_PrivetToolController final : public PrivetToolController {
public:
    PLATFORM_CLASS_RECORD
};

#endif
