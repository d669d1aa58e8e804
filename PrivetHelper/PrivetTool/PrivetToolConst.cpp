#include "PrivetTool/PrivetToolConst.h"

#include "Foundation/Array.h"
#include "Foundation/FileManager.h"

using platform::Array;
using platform::FileManager;
using platform::Ref;
using platform::String;

String* const kPrivetTool_Location_LibraryQuickTime = String::constant("Library.QuickTime");
String* const kPrivetTool_Location_LibraryCoreMediaIOPlugInsDAL = String::constant("Library.CoreMediaIO");
String* const kPrivetTool_Location_LibraryGraphicsImageUnits = String::constant("Library.CoreImage");
String* const kPrivetTool_Location_LibraryGraphicsQuartzComposer = String::constant("Library.QuartzComposer");
String* const kPrivetTool_Location_LibraryQuartzCompositions = String::constant("Library.Compositions");
String* const kPrivetTool_Location_SystemLibraryKEXT = String::constant("System.Library.KEXT");

String* const kPrivetTool_Command_Install = String::constant("install");
String* const kPrivetTool_Command_Delete = String::constant("delete");

namespace {

String* const kLibraryQuickTimeSubFolder = String::constant("QuickTime");
String* const kLibraryCoreMediaIOSubFolder = String::constant("CoreMediaIO/Plug-Ins/DAL");
String* const kLibraryGraphicsImageUnitsSubFolder = String::constant("Graphics/Image Units");
String* const kLibraryGraphicsQCSubFolder = String::constant("Graphics/Quartz Composer Plug-Ins");
String* const kLibraryCompositionsSubFolder = String::constant("Compositions");
String* const kLibraryExtensionsSubFolder = String::constant("Extensions");

struct Location {
    String* name;
    Ref<String> (*libraryFolderWithSubDirectory)(const String*);
    String* subFolder;
};

// Tested in this order.
const Location kLocations[] = {
    {kPrivetTool_Location_LibraryQuickTime, &PrivetTool::slashLibraryFolderWithSubDirectoryPathName,
     kLibraryQuickTimeSubFolder},
    {kPrivetTool_Location_LibraryCoreMediaIOPlugInsDAL, &PrivetTool::slashLibraryFolderWithSubDirectoryPathName,
     kLibraryCoreMediaIOSubFolder},
    {kPrivetTool_Location_LibraryGraphicsImageUnits, &PrivetTool::slashLibraryFolderWithSubDirectoryPathName,
     kLibraryGraphicsImageUnitsSubFolder},
    {kPrivetTool_Location_LibraryGraphicsQuartzComposer, &PrivetTool::slashLibraryFolderWithSubDirectoryPathName,
     kLibraryGraphicsQCSubFolder},
    {kPrivetTool_Location_LibraryQuartzCompositions, &PrivetTool::slashLibraryFolderWithSubDirectoryPathName,
     kLibraryCompositionsSubFolder},
    {kPrivetTool_Location_SystemLibraryKEXT, &PrivetTool::systemLibraryFolderWithSubDirectoryPathName,
     kLibraryExtensionsSubFolder},
};

// A last path component that would make the location folder itself, or a
// folder above it, the destination.
bool namesNoEntryOfItsOwn(const String& component) {
    const std::string& text = component.text();
    return text.empty() || text == "." || text == ".." || text.find('/') != std::string::npos;
}

} // namespace

const platform::Class PrivetTool::classRecord{PRIVET_CLASS_NAME(PrivetTool), &Object::classRecord,
                                              platform::Class::factoryOf<PrivetTool>()};

Ref<String> PrivetTool::destinationWithLocationName_sourcePath(const String* locationName, const String* sourcePath) {
    if (sourcePath == nullptr) return nullptr;
    Ref<String> fileName = sourcePath->lastPathComponent();
    if (namesNoEntryOfItsOwn(*fileName)) return nullptr;
    Ref<String> locationPath = PrivetTool::locationPathWithLocationName(locationName);
    if (!locationPath) return nullptr;
    return String::stringWithFormat("%@/%@", locationPath, fileName);
}

Ref<String> PrivetTool::locationPathWithLocationName(const String* locationName) {
    if (locationName == nullptr) return nullptr;
    for (const Location& location : kLocations) {
        if (locationName->isEqualToString(location.name)) return location.libraryFolderWithSubDirectory(location.subFolder);
    }
    return nullptr;
}

Ref<String> PrivetTool::systemLibraryFolderWithSubDirectoryPathName(const String* subDirectory) {
    return libraryFolderInDomain_folderPath(platform::NSSystemDomainMask, subDirectory);
}

Ref<String> PrivetTool::slashLibraryFolderWithSubDirectoryPathName(const String* subDirectory) {
    return libraryFolderInDomain_folderPath(platform::NSLocalDomainMask, subDirectory);
}

Ref<String> PrivetTool::usersLibraryFolderWithSubDirectoryPathName(const String* subDirectory) {
    return libraryFolderInDomain_folderPath(platform::NSUserDomainMask, subDirectory);
}

Ref<String> PrivetTool::libraryFolderInDomain_folderPath(unsigned long domain, const String* folderPath) {
    Ref<String> libraryPath = pathForDirectory_searchDomain(platform::NSLibraryDirectory, domain);
    if (!libraryPath || folderPath == nullptr) return nullptr;
    return String::stringWithFormat("%@/%@", libraryPath, folderPath);
}

Ref<String> PrivetTool::pathForDirectory_searchDomain(unsigned long directory, unsigned long domain) {
    Ref<Array> folders = FileManager::defaultManager()->URLsForDirectory_inDomains(directory, domain);
    if (!folders || folders->count() == 0) return nullptr;
    const String* first = platform::objectAs<String>(folders->objectAtIndex(0));
    return first ? first->copy() : nullptr;
}

extern "C" int import_PrivetTool(void) { return 1; }
