#pragma once

#include "PrivetTool/PrivetFlavour.h"

#include "Foundation/Bundle.h"
#include "Foundation/String.h"
#include "objc/Object.h"

// Location names: what payload records store and the helper command line carries.
extern platform::String* const kPrivetTool_Location_LibraryQuickTime;             // "Library.QuickTime"
extern platform::String* const kPrivetTool_Location_LibraryCoreMediaIOPlugInsDAL; // "Library.CoreMediaIO"
extern platform::String* const kPrivetTool_Location_LibraryGraphicsImageUnits;    // "Library.CoreImage"
extern platform::String* const kPrivetTool_Location_LibraryGraphicsQuartzComposer; // "Library.QuartzComposer"
extern platform::String* const kPrivetTool_Location_LibraryQuartzCompositions;    // "Library.Compositions"
extern platform::String* const kPrivetTool_Location_SystemLibraryKEXT;            // "System.Library.KEXT"

// Command words of the helper command line.
extern platform::String* const kPrivetTool_Command_Install;  // "install"
extern platform::String* const kPrivetTool_Command_Delete;   // "delete"

// Install locations and payload paths. Every operation is a class function;
// none keeps state.
class PrivetTool : public platform::Object {
public:
    PLATFORM_CLASS_RECORD

    // The location path of the name joined with the last path component of
    // the source path. Absent when the name is unknown, the Library folder
    // cannot be named, or the last component is empty, "." or "..".
    static platform::Ref<platform::String> destinationWithLocationName_sourcePath(const platform::String* locationName,
                                                                                  const platform::String* sourcePath);
    // The folder a location name stands for; absent for a name not in the table.
    static platform::Ref<platform::String> locationPathWithLocationName(const platform::String* locationName);
    static platform::Ref<platform::String> systemLibraryFolderWithSubDirectoryPathName(const platform::String* subDirectory);
    static platform::Ref<platform::String> slashLibraryFolderWithSubDirectoryPathName(const platform::String* subDirectory);
    static platform::Ref<platform::String> usersLibraryFolderWithSubDirectoryPathName(const platform::String* subDirectory);
    // The domain's Library folder, "/", the folder path; absent when the
    // Library folder cannot be named.
    static platform::Ref<platform::String> libraryFolderInDomain_folderPath(unsigned long domain,
                                                                           const platform::String* folderPath);
    // The first folder of a directory kind in a domain, or absent.
    static platform::Ref<platform::String> pathForDirectory_searchDomain(unsigned long directory, unsigned long domain);

    // Lookups in the payload bundle: the full path when something of that
    // name exists in the folder, else absent. A name that is absent, empty,
    // "." or ".." names nothing.
    static platform::Ref<platform::String> mainBundlePayloadPathForHelperName(const platform::String* name);
    static platform::Ref<platform::String> mainBundlePayloadPathForResourceName(const platform::String* name);
    static platform::Ref<platform::String> mainBundlePayloadPathForPlugInName(const platform::String* name);
    // The bundle that holds this class's code (the pane or the application).
    static platform::Ref<platform::Bundle> payloadBundle();
    static platform::Ref<platform::String> bundleValidPathThatExistsOrNil(const platform::String* path);
};

extern "C" PRIVET_EXPORT int import_PrivetTool(void);
