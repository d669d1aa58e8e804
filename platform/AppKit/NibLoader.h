#pragma once

// Interface files: text that describes objects to create by class name, their
// properties, the references between them, bindings of control values to
// keys and actions of controls. One statement per line; "#" starts a comment.
//
//   NSWindow window {                       an object: class name, optional name, optional body
//       title = "Payloads"                  property, set through key-value coding:
//                                           "text" (\" \\ \n \t), 12, -3.5, YES/NO, true/false, nil
//       NSStackView {                       a view inside a window is its content view,
//           orientation = "vertical"        a view inside a view one of its subviews
//           NSTextField {
//               bind value -> payload.payloadSystemSummary
//           }                               binding: the control shows payload's key and
//                                           reads it again on every did-change announcement
//           NSButton {
//               title = "Install"
//               action installPayload: -> payload
//           }                               action: a click sends installPayload: to payload
//       }
//   }
//   PrivetBundlePayloadController payload {
//       FileName = "Kestrel.component"
//       privetToolController -> tool        outlet: a reference to another object, which
//   }                                       may be described later in the file
//   PrivetToolController tool
//   File's Owner {                          the object the file is loaded for
//       delegate -> window
//   }
//
// Loading resolves every class name (in the given image first, then in the
// other loaded images), checks every key, name, binding and selector, then
// creates the objects in file order, sets their properties, places views,
// connects outlets, bindings and actions, connects File's Owner last, and
// sends awakeFromNib to each created object that responds to it, in file
// order. Any failure ends the load with an error naming the file and line;
// what was made is torn down and File's Owner keeps no reference into it.

#include "AppKit/NibParser.h"
#include "objc/Object.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Bundle;
class Control;
class View;

// The objects of one loaded interface file. It owns them: when it ends, the
// bindings it made stop observing, the controls it connected forget their
// targets, and the objects are released, last created first.
class LoadedNib {
public:
    ~LoadedNib();
    LoadedNib(const LoadedNib&) = delete;
    LoadedNib& operator=(const LoadedNib&) = delete;

    // A named object; null for an unknown name.
    Object* objectNamed(std::string_view name) const;
    // The names given in the file, with their objects, sorted by name.
    const std::map<std::string, Object*, std::less<>>& namedObjects() const { return byName_; }
    // Every created object, in file order.
    const std::vector<Ref<Object>>& objects() const { return objects_; }
    // Those described at the top level of the file.
    std::vector<Object*> topLevelObjects() const;

private:
    friend class NibLoadSteps;
    LoadedNib() = default;

    std::vector<Ref<Object>> objects_;
    std::vector<bool> topLevel_;
    std::map<std::string, Object*, std::less<>> byName_;
    std::vector<View*> boundViews_;
    std::vector<Control*> connectedControls_;
};

class NibLoader {
public:
    struct Result {
        std::unique_ptr<LoadedNib> nib;  // null when loading failed
        std::optional<NibError> error;
        explicit operator bool() const { return nib != nullptr; }
    };

    // Class names are looked up in `image` (a load address, as
    // Class::imageContaining gives it) before the other loaded images.
    explicit NibLoader(const void* image) : image_(image) {}

    // `owner` is File's Owner; it must outlive the loaded interface. Null
    // when the file has no File's Owner block and refers to none.
    Result loadFile(const std::string& path, Object* owner) const;
    Result loadText(std::string_view text, std::string_view file, Object* owner) const;

    // Where a bundle keeps the interface file of a name: its resources folder,
    // the name with ".nib" added unless it ends in it already.
    static std::string pathForNibNamed(const Bundle& bundle, std::string_view name);

private:
    const void* image_;
};

} // namespace platform
