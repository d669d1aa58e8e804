#include "PrivetTool/PrivetToolConst.h"

#include "Foundation/Array.h"
#include "Foundation/AssertionHandler.h"
#include "Foundation/FileManager.h"

using platform::Array;
using platform::AssertionHandler;
using platform::Bundle;
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

String* const NSBundleContentsFolderDoNotLocalize = String::constant("Contents");
String* const NSBundleHelpersFolderDoNotLocalize = String::constant("Helpers");

String* const kSourceFile = String::constant("PrivetTool/PrivetToolConst");

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

void reportFailure(const char* method, long line, const char* description) {
    AssertionHandler::currentHandler()->handleFailureInMethod_object_file_lineNumber_description(
        method, PrivetTool::classRecord, kSourceFile, line, platform::make<String>(description).get());
}

// Whether a name leads to the folder itself or out of it.
bool leadsOutOfFolder(const String& name) {
    if (namesNoEntryOfItsOwn(*name.lastPathComponent())) return true;
    std::string_view rest = name.text();
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        if (rest.substr(0, slash) == "..") return true;
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    return false;
}

// The path of a named entry in a folder; absent when there is no folder or
// the name leads to the folder itself or out of it.
Ref<String> entryInFolder(const String* folder, const String* name) {
    if (folder == nullptr || name == nullptr || leadsOutOfFolder(*name)) return nullptr;
    return folder->stringByAppendingPathComponent(name);
}

} // namespace

const platform::Class PrivetTool::classRecord{kPrivetFlavour.toolClassName, &Object::classRecord,
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

Ref<String> PrivetTool::mainBundlePayloadPathForHelperName(const String* name) {
    Ref<Bundle> bundle = payloadBundle();
    String* bundlePath = bundle ? bundle->bundlePath() : nullptr;
    if (bundlePath == nullptr) return nullptr;
    Ref<String> helpers = bundlePath->stringByAppendingPathComponent(NSBundleContentsFolderDoNotLocalize)
                              ->stringByAppendingPathComponent(NSBundleHelpersFolderDoNotLocalize);
    return bundleValidPathThatExistsOrNil(entryInFolder(helpers.get(), name).get());
}

Ref<String> PrivetTool::mainBundlePayloadPathForResourceName(const String* name) {
    Ref<Bundle> bundle = payloadBundle();
    Ref<String> folder = bundle ? bundle->resourcePath() : nullptr;
    if (!folder) reportFailure("mainBundlePayloadPathForResourceName:", 66, "unable to find bundle resources folder");
    return bundleValidPathThatExistsOrNil(entryInFolder(folder.get(), name).get());
}

Ref<String> PrivetTool::mainBundlePayloadPathForPlugInName(const String* name) {
    Ref<Bundle> bundle = payloadBundle();
    Ref<String> folder = bundle ? bundle->builtInPlugInsPath() : nullptr;
    if (!folder) reportFailure("mainBundlePayloadPathForPlugInName:", 54, "unable to find bundle plug-ins folder");
    return bundleValidPathThatExistsOrNil(entryInFolder(folder.get(), name).get());
}

Ref<Bundle> PrivetTool::payloadBundle() {
    Ref<Bundle> bundle = Bundle::bundleForClass(PrivetTool::classRecord);
    if (!bundle) {
        reportFailure("payloadBundle", 45, "Failed to get class bundle.");
        bundle = Ref<Bundle>(Bundle::mainBundle());
    }
    return bundle;
}

Ref<String> PrivetTool::bundleValidPathThatExistsOrNil(const String* path) {
    if (path == nullptr || !FileManager::defaultManager()->fileExistsAtPath(path)) return nullptr;
    return path->copy();
}

extern "C" PRIVET_EXPORT int import_PrivetTool(void) { return 1; }
