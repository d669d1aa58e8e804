#include "Foundation/Bundle.h"

#include "Foundation/Dictionary.h"
#include "Foundation/PropertyList.h"
#include "Foundation/String.h"
#include "Foundation/SystemCall.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

namespace platform {

String* const kCFBundleIdentifierKey = String::constant("CFBundleIdentifier");
String* const kCFBundleNameKey = String::constant("CFBundleName");
String* const kCFBundleVersionKey = String::constant("CFBundleVersion");

const Class Bundle::classRecord{"NSBundle", &Object::classRecord};

namespace {

String* const kContentsFolder = String::constant("Contents");
String* const kCodeFolder = String::constant("Linux");
String* const kResourcesFolder = String::constant("Resources");
String* const kPlugInsFolder = String::constant("PlugIns");
String* const kInfoFile = String::constant("Info.plist");
String* const kExecutableKey = String::constant("CFBundleExecutable");

bool isDirectory(const String* path) {
    const ErrorOr<struct stat> status = sys::stat(path->UTF8String());
    return !status.isError() && S_ISDIR(status.value().st_mode);
}

bool isRegularFile(const String* path) {
    const ErrorOr<struct stat> status = sys::stat(path->UTF8String());
    return !status.isError() && S_ISREG(status.value().st_mode);
}

Ref<String> realPath(const char* path) {
    const std::optional<std::string> resolved = sys::resolvedPath(path);
    return resolved ? String::stringWithUTF8String(resolved->c_str()) : nullptr;
}

// X for a code file at X/Contents/Linux/file; null elsewhere.
Ref<String> bundlePathOfCodeFile(const String* file) {
    Ref<String> codeFolder = file->stringByDeletingLastPathComponent();
    Ref<String> contents = codeFolder->stringByDeletingLastPathComponent();
    if (!codeFolder->lastPathComponent()->isEqualToString(kCodeFolder) ||
        !contents->lastPathComponent()->isEqualToString(kContentsFolder)) {
        return nullptr;
    }
    return contents->stringByDeletingLastPathComponent();
}

const void* mainImage() {
    static const void* const image = Class::imageContaining(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
    return image;
}

// The name a loaded image's file was loaded under, empty for the executable:
// for it the loader reports the name it was started under, which need not
// lead to the file. False for an address in no loaded image.
bool loadedName(const void* image, std::string& name) {
    if (image == mainImage()) {
        name.clear();
        return true;
    }
    Dl_info info{};
    if (dladdr(image, &info) == 0 || info.dli_fname == nullptr || info.dli_fname[0] == '\0') return false;
    name = info.dli_fname;
    return true;
}

// The path from "/" or from the current folder, without a trailing "/".
Ref<String> absolutePath(const String* path) {
    if (path->text().front() == '/') return make<String>("/")->stringByAppendingPathComponent(path);
    char* folder = getcwd(nullptr, 0);
    if (folder == nullptr) return nullptr;
    Ref<String> current = String::stringWithUTF8String(folder);
    std::free(folder);
    return current ? current->stringByAppendingPathComponent(path) : nullptr;
}

// A name that stays inside the folder it is joined to.
bool isPlainFileName(const String* name) {
    const std::string& text = name->text();
    return !text.empty() && text != "." && text != ".." && text.find('/') == std::string::npos;
}

// The bundles of code images, one object per bundle path, kept for the life
// of the process.
struct CodeBundles {
    std::mutex mutex;
    std::map<std::string, Ref<Bundle>> byPath;

    static CodeBundles& shared() {
        static CodeBundles* const bundles = new CodeBundles;
        return *bundles;
    }
};

} // namespace

Bundle::Bundle(Ref<String> path, Ref<String> image) : path_(std::move(path)), image_(std::move(image)) {}

Ref<Bundle> Bundle::codeBundle(Ref<String> path, Ref<String> image) {
    CodeBundles& bundles = CodeBundles::shared();
    std::lock_guard lock(bundles.mutex);
    Ref<Bundle>& bundle = bundles.byPath[path->text()];
    if (!bundle) bundle = Ref<Bundle>::adopt(new Bundle(std::move(path), std::move(image)));
    return bundle;
}

Bundle* Bundle::mainBundle() {
    static Bundle* const main = []() -> Bundle* {
        Ref<String> executable = realPath("/proc/self/exe");
        if (!executable) return nullptr;
        Ref<String> path = bundlePathOfCodeFile(executable.get());
        if (!path) path = executable->stringByDeletingLastPathComponent();
        return codeBundle(std::move(path), std::move(executable)).get();
    }();
    return main;
}

// Resolved once per loaded image (its address and the name it was loaded
// under): the code of a class does not move while it is loaded.
Ref<Bundle> Bundle::bundleForClass(const Class& cls) {
    std::string name;
    if (cls.image() == nullptr || !loadedName(cls.image(), name)) return nullptr;
    static std::mutex mutex;
    static auto* const bundles = new std::map<std::pair<const void*, std::string>, Ref<Bundle>>;
    std::lock_guard lock(mutex);
    auto key = std::make_pair(cls.image(), std::move(name));
    auto found = bundles->find(key);
    if (found == bundles->end()) {
        Ref<String> file = realPath(key.second.empty() ? "/proc/self/exe" : key.second.c_str());
        Ref<String> path = file ? bundlePathOfCodeFile(file.get()) : nullptr;
        found = bundles->emplace(std::move(key), path ? codeBundle(std::move(path), std::move(file)) : nullptr).first;
    }
    return found->second;
}

Ref<Bundle> Bundle::bundleWithPath(const String* path) {
    if (path == nullptr || path->text().empty() || path->text().find('\0') != std::string::npos) return nullptr;
    Ref<String> absolute = absolutePath(path);
    if (!absolute) return nullptr;
    const ErrorOr<struct stat> status = sys::stat(absolute->UTF8String());
    if (status.isError() || !S_ISDIR(status.value().st_mode)) return nullptr;
    // A folder open to everyone needs no further check (the status is read
    // once a second for every payload shown).
    const bool openToAll = (status.value().st_mode & (S_IROTH | S_IXOTH)) == (S_IROTH | S_IXOTH);
    if (!openToAll && geteuid() != 0 && sys::accessAsEffectiveUser(absolute->UTF8String(), R_OK | X_OK).isError()) {
        return nullptr;
    }
    return Ref<Bundle>::adopt(new Bundle(std::move(absolute), nullptr));
}

bool Bundle::hasContents() const {
    std::lock_guard lock(lazyMutex_);
    return hasContentsLocked();
}

bool Bundle::hasContentsLocked() const {
    if (hasContents_ < 0) hasContents_ = isDirectory(path_->stringByAppendingPathComponent(kContentsFolder).get());
    return hasContents_ > 0;
}

Ref<String> Bundle::contentsPath() const {
    return hasContents() ? path_->stringByAppendingPathComponent(kContentsFolder) : path_;
}

Ref<String> Bundle::resourcePath() const {
    return hasContents() ? contentsPath()->stringByAppendingPathComponent(kResourcesFolder) : path_;
}

Ref<String> Bundle::builtInPlugInsPath() const { return contentsPath()->stringByAppendingPathComponent(kPlugInsFolder); }

Ref<String> Bundle::executablePath() const {
    if (image_) return image_;
    const String* name = objectAs<String>(objectForInfoDictionaryKey(kExecutableKey));
    if (name == nullptr || !isPlainFileName(name)) return nullptr;
    Ref<String> codeFolder = hasContents() ? contentsPath()->stringByAppendingPathComponent(kCodeFolder) : path_;
    Ref<String> file = codeFolder->stringByAppendingPathComponent(name);
    return isRegularFile(file.get()) ? file : nullptr;
}

Dictionary* Bundle::infoDictionary() const {
    std::lock_guard lock(lazyMutex_);
    if (!infoRead_) {
        // Contents/Info.plist first: when it reads, there is a Contents folder
        // and nothing else needs looking at.
        Ref<String> contents = path_->stringByAppendingPathComponent(kContentsFolder);
        Ref<Object> list;
        if (hasContents_ != 0) list = propertyListWithContentsOfFile(contents->stringByAppendingPathComponent(kInfoFile).get());
        if (list) hasContents_ = 1;
        else if (!hasContentsLocked()) list = propertyListWithContentsOfFile(path_->stringByAppendingPathComponent(kInfoFile).get());
        Dictionary* dictionary = objectAs<Dictionary>(list.get());
        info_ = dictionary ? Ref<Dictionary>(dictionary) : make<Dictionary>();
        infoRead_ = true;
    }
    return info_.get();
}

String* Bundle::bundleIdentifier() const { return objectAs<String>(objectForInfoDictionaryKey(kCFBundleIdentifierKey)); }

Object* Bundle::objectForInfoDictionaryKey(const String* key) const { return infoDictionary()->objectForKey(key); }

Ref<String> Bundle::description() const { return String::stringWithFormat("NSBundle <%@>", path_); }

} // namespace platform
