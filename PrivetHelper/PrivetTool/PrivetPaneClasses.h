#pragma once

// The class names under which a deliverable's interface files find the
// payload library: subclasses of its code classes that add nothing but a name.

#include "PrivetTool/PrivetBundlePayloadController.h"
#include "PrivetTool/PrivetToolController.h"

class KestrelPrefs_PrivetBundlePayloadController final : public PrivetBundlePayloadController {
public:
    static const platform::Class classRecord;
    const platform::Class& objectClass() const override { return classRecord; }
};

class KestrelPrefs_PrivetToolController final : public PrivetToolController {
public:
    static const platform::Class classRecord;
    const platform::Class& objectClass() const override { return classRecord; }
};

#ifndef PRIVET_KESTRELPREFS_BUILD

class OspreyPrefs_PrivetBundlePayloadController final : public PrivetBundlePayloadController {
public:
    static const platform::Class classRecord;
    const platform::Class& objectClass() const override { return classRecord; }
};

class OspreyPrefs_PrivetToolController final : public PrivetToolController {
public:
    static const platform::Class classRecord;
    const platform::Class& objectClass() const override { return classRecord; }
};

#endif
