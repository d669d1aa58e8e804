#pragma once

#include "objc/Object.h"

#include <mutex>

namespace platform {

class Dictionary;
class String;

// Keys of a bundle's information dictionary.
extern String* const kCFBundleIdentifierKey;  // "CFBundleIdentifier"
extern String* const kCFBundleNameKey;        // "CFBundleName"
extern String* const kCFBundleVersionKey;     // "CFBundleVersion"

// A folder that holds code and resources:
//
//   X/Contents/Info.plist     information dictionary (XML or binary)
//   X/Contents/Linux/         code: shared objects, or an application's executable
//   X/Contents/Resources/     resources
//   X/Contents/PlugIns/       built-in plug-ins
//
// A folder without Contents is a flat bundle: Info.plist and resources lie
// in the folder itself and built-in plug-ins in X/PlugIns. Any readable
// folder is a bundle; one without an information dictionary has an empty one.
class Bundle final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSBundle"

    // The bundle of the running executable: X for X/Contents/Linux/program,
    // else the folder the executable lies in. One shared instance; null only
    // when the executable's path cannot be read.
    static Bundle* mainBundle();

    // The bundle whose Contents/Linux folder holds the image (executable or
    // shared object) that defines the class, found from the image's real
    // path; null for an image that lies in no such folder.
    static Ref<Bundle> bundleForClass(const Class& cls);

    // A new bundle object for a readable folder, made afresh on every call;
    // null for a missing path, a file that is not a folder, or a folder that
    // cannot be read and searched. A relative path is taken from the current
    // folder; a trailing "/" is dropped.
    static Ref<Bundle> bundleWithPath(const String* path);

    String* bundlePath() const { return path_.get(); }
    Ref<String> resourcePath() const;
    Ref<String> builtInPlugInsPath() const;
    // The image the bundle was found from, or else the file that the
    // information dictionary's CFBundleExecutable names in the code folder;
    // null when neither exists.
    Ref<String> executablePath() const;

    // Read on first use and kept for the life of this object; empty (never
    // null) when Info.plist is missing, unreadable, malformed, too large or
    // not a dictionary.
    Dictionary* infoDictionary() const;
    // The CFBundleIdentifier value when it is a string, else null.
    String* bundleIdentifier() const;
    Object* objectForInfoDictionaryKey(const String* key) const;

    // NSBundle <path>
    Ref<String> description() const override;

private:
    Bundle(Ref<String> path, Ref<String> image);

    // The folder that holds Info.plist, resources and the code folder.
    Ref<String> contentsPath() const;
    // Whether the bundle has a Contents folder; looked at once, when first needed.
    bool hasContents() const;
    bool hasContentsLocked() const;

    static Ref<Bundle> codeBundle(Ref<String> path, Ref<String> image);

    Ref<String> path_;
    Ref<String> image_;
    mutable std::mutex lazyMutex_;
    mutable signed char hasContents_ = -1;  // unknown until needed
    mutable bool infoRead_ = false;
    mutable Ref<Dictionary> info_;
};

} // namespace platform
