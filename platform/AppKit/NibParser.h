#pragma once

// Reads the text of an interface file into a tree of object descriptions;
// NibLoader.h describes the format. Nothing is created here.

#include "objc/Object.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The name by which an interface file refers to its owner.
inline constexpr std::string_view kNibOwnerName = "File's Owner";

// A reason why an interface file cannot be loaded, and where.
struct NibError {
    std::string file;
    int line = 0;  // 0 when it concerns the whole file
    std::string message;

    // "file:line: message" (or "file: message")
    std::string text() const;
};

struct NibStatement {
    enum class Kind {
        Property,  // key = value
        Outlet,    // key -> object
        Binding,   // bind binding -> object.key
        Action,    // action selector -> object
    };
    Kind kind;
    int line;
    std::string key;         // the key, binding name or selector
    Ref<Object> value;       // Property: a String, a Number or null (nil)
    std::string objectName;  // Outlet, Binding, Action: the other object
    std::string objectKey;   // Binding: the key of the other object
    std::string transformer; // Binding: a value transformer's name, or empty
};

struct NibObject {
    int line = 0;
    std::string className;  // empty for the owner's block
    std::string name;       // may be empty; kNibOwnerName for the owner's block
    std::vector<NibStatement> statements;
    std::vector<NibObject> children;

    bool isOwner() const { return className.empty(); }
    // How messages name it: its name, or its class and line.
    std::string label() const;
};

struct NibDocument {
    std::vector<NibObject> objects;
};

struct NibParseResult {
    NibDocument document;
    std::optional<NibError> error;
};

// Parses interface-file text; `file` names it in errors.
NibParseResult parseNib(std::string_view text, std::string_view file);

} // namespace platform
