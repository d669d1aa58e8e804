#include "PrivetTool/PrivetPaneClasses.h"

using platform::Class;

const Class KestrelPrefs_PrivetBundlePayloadController::classRecord{
    "KestrelPrefs_PrivetBundlePayloadController", &PrivetBundlePayloadController::classRecord,
    Class::factoryOf<KestrelPrefs_PrivetBundlePayloadController>()};

const Class KestrelPrefs_PrivetToolController::classRecord{"KestrelPrefs_PrivetToolController",
                                                           &PrivetToolController::classRecord,
                                                           Class::factoryOf<KestrelPrefs_PrivetToolController>()};

#ifndef PRIVET_KESTRELPREFS_BUILD

const Class OspreyPrefs_PrivetBundlePayloadController::classRecord{
    "OspreyPrefs_PrivetBundlePayloadController", &PrivetBundlePayloadController::classRecord,
    Class::factoryOf<OspreyPrefs_PrivetBundlePayloadController>()};

const Class OspreyPrefs_PrivetToolController::classRecord{"OspreyPrefs_PrivetToolController",
                                                          &PrivetToolController::classRecord,
                                                          Class::factoryOf<OspreyPrefs_PrivetToolController>()};

#endif
