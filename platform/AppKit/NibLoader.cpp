#include "AppKit/NibLoader.h"

#include "AppKit/ActionBoundary.h"
#include "AppKit/ValueTransformer.h"

#include "AppKit/Control.h"
#include "AppKit/View.h"
#include "AppKit/Window.h"
#include "Foundation/Bundle.h"
#include "Foundation/Exception.h"
#include "Foundation/String.h"
#include "objc/AutoreleasePool.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

namespace platform {

// -- LoadedNib

LoadedNib::~LoadedNib() {
    for (View* view : boundViews_) view->unbindAll();
    for (Control* control : connectedControls_) control->setTarget(nullptr);
    byName_.clear();
    while (!objects_.empty()) objects_.pop_back();
}

Object* LoadedNib::objectNamed(std::string_view name) const {
    auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : found->second;
}

std::vector<Object*> LoadedNib::topLevelObjects() const {
    std::vector<Object*> result;
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        if (topLevel_[i]) result.push_back(objects_[i].get());
    }
    return result;
}

// -- NibLoader

namespace {

constexpr std::size_t kMaximumNibSize = 1 << 20;

// Thrown inside the loader only; becomes the result's error.
struct LoadFailure {
    int line;
    std::string message;
};

void require(const std::function<void()>& work, int line, const std::string& doing) {
    if (std::optional<EscapedException> escaped = runCatching(work)) {
        throw LoadFailure{line, doing + " raised " + escaped->text()};
    }
}

std::string quote(std::string_view text) { return "\"" + std::string(text) + "\""; }

// One object to create, with where it goes.
struct Entry {
    const NibObject* description;
    const Class* cls;
    int parent;  // index of the containing entry, -1 at the top level
    Object* object = nullptr;
};

} // namespace

class NibLoadSteps {
public:
    NibLoadSteps(const void* image, Object* owner, std::string_view file) : image_(image), owner_(owner), file_(file) {}

    NibLoader::Result run(const NibDocument& document) {
        try {
            for (const NibObject& description : document.objects) {
                if (description.isOwner()) addOwnerBlock(description);
                else addEntry(description, -1);
            }
            for (const Entry& entry : entries_) checkStatements(*entry.description, entry.cls);
            for (const NibObject* block : ownerBlocks_) checkStatements(*block, &owner_->objectClass());
            nib_.reset(new LoadedNib);
            createObjects();
            setProperties();
            placeViews();
            connectOutlets();
            connectBindings();
            connectActions();
            connectOwner();
            awakeObjects();
        } catch (const LoadFailure& failure) {
            disconnectOwner();
            nib_.reset();
            return {nullptr, NibError{file_, failure.line, failure.message}};
        }
        return {std::move(nib_), std::nullopt};
    }

private:
    // -- resolving and checking, before anything is made

    void addOwnerBlock(const NibObject& block) {
        if (owner_ == nullptr) throw LoadFailure{block.line, "the file describes File's Owner, but it is loaded without an owner"};
        ownerBlocks_.push_back(&block);
    }

    void addEntry(const NibObject& description, int parent) {
        const Class* cls = Class::named(description.className, image_);
        if (cls == nullptr) throw LoadFailure{description.line, "unknown class " + quote(description.className)};
        if (!description.name.empty()) {
            auto [it, added] = lines_.try_emplace(description.name, description.line);
            if (!added) {
                throw LoadFailure{description.line, "the name " + quote(description.name) + " is used twice (first on line " +
                                                        std::to_string(it->second) + ")"};
            }
        }
        if (parent >= 0) checkPlacement(entries_[static_cast<std::size_t>(parent)], description, *cls);
        const int index = static_cast<int>(entries_.size());
        entries_.push_back({&description, cls, parent});
        for (const NibObject& child : description.children) addEntry(child, index);
    }

    void checkPlacement(const Entry& container, const NibObject& child, const Class& childClass) {
        const bool inWindow = container.cls->isSubclassOfClass(Window::classRecord);
        if (!inWindow && !container.cls->isSubclassOfClass(View::classRecord)) {
            throw LoadFailure{child.line, container.description->label() + " (" + container.cls->name() +
                                              ") cannot hold other objects"};
        }
        if (!childClass.isSubclassOfClass(View::classRecord)) {
            throw LoadFailure{child.line, child.className + " is not a view, so it cannot be placed inside " +
                                              container.description->label()};
        }
        if (inWindow && &child != &container.description->children.front()) {
            throw LoadFailure{child.line, "a window holds one content view"};
        }
    }

    // The class of the object a statement refers to.
    const Class& referredClass(const NibStatement& statement) {
        if (statement.objectName == kNibOwnerName) {
            if (owner_ == nullptr) throw LoadFailure{statement.line, "File's Owner is referred to, but the file is loaded without an owner"};
            return owner_->objectClass();
        }
        for (const Entry& entry : entries_) {
            if (entry.description->name == statement.objectName) return *entry.cls;
        }
        throw LoadFailure{statement.line, "no object is named " + quote(statement.objectName)};
    }

    void checkStatements(const NibObject& description, const Class* cls) {
        const std::string who = description.isOwner() ? std::string(kNibOwnerName) + " (" + cls->name() + ")" : cls->name();
        for (const NibStatement& statement : description.statements) {
            switch (statement.kind) {
            case NibStatement::Kind::Property:
            case NibStatement::Kind::Outlet:
                if (cls->setterForKey(statement.key) == nullptr) {
                    throw LoadFailure{statement.line, cls->getterForKey(statement.key)
                                                          ? "the key " + quote(statement.key) + " of " + who + " is read-only"
                                                          : who + " has no key " + quote(statement.key)};
                }
                if (statement.kind == NibStatement::Kind::Outlet) referredClass(statement);
                break;
            case NibStatement::Kind::Binding: {
                if (description.isOwner() || !cls->isSubclassOfClass(View::classRecord)) {
                    throw LoadFailure{statement.line, who + " is not a view and has no bindings"};
                }
                const Class& bound = referredClass(statement);
                if (bound.getterForKey(statement.objectKey) == nullptr) {
                    throw LoadFailure{statement.line, bound.name() + " has no key " + quote(statement.objectKey)};
                }
                if (!statement.transformer.empty() && !isValueTransformerName(statement.transformer)) {
                    throw LoadFailure{statement.line, "no value transformer is named " + quote(statement.transformer)};
                }
                break;
            }
            case NibStatement::Kind::Action: {
                if (description.isOwner() || !cls->isSubclassOfClass(Control::classRecord)) {
                    throw LoadFailure{statement.line, who + " is not a control and sends no actions"};
                }
                const Class& target = referredClass(statement);
                if (!target.instancesRespondToSelector(statement.key)) {
                    throw LoadFailure{statement.line, target.name() + " does not respond to " + statement.key};
                }
                break;
            }
            }
        }
    }

    // -- making and connecting

    Object* objectNamed(const std::string& name) {
        return name == kNibOwnerName ? owner_ : nib_->byName_.at(name);
    }

    void createObjects() {
        for (Entry& entry : entries_) {
            Ref<Object> object;
            require([&] { object = entry.cls->createInstance(); }, entry.description->line,
                    "creating " + entry.cls->name());
            if (!object) throw LoadFailure{entry.description->line, entry.cls->name() + " cannot be created by name"};
            entry.object = object.get();
            nib_->objects_.push_back(std::move(object));
            nib_->topLevel_.push_back(entry.parent < 0);
            if (!entry.description->name.empty()) nib_->byName_.emplace(entry.description->name, entry.object);
        }
    }

    template <class Each>
    void forEachStatement(NibStatement::Kind kind, Each each) {
        for (Entry& entry : entries_) {
            for (const NibStatement& statement : entry.description->statements) {
                if (statement.kind == kind) each(entry, statement);
            }
        }
    }

    void setProperties() {
        forEachStatement(NibStatement::Kind::Property, [&](Entry& entry, const NibStatement& statement) {
            require([&] { entry.object->setValue_forKey(statement.value.get(), statement.key); }, statement.line,
                    "setting " + statement.key + " of " + entry.description->label());
        });
    }

    void placeViews() {
        for (Entry& entry : entries_) {
            if (entry.parent < 0) continue;
            Object* container = entries_[static_cast<std::size_t>(entry.parent)].object;
            auto* view = static_cast<View*>(entry.object);
            require(
                [&] {
                    if (auto* window = objectAs<Window>(container)) window->setContentView(view);
                    else static_cast<View*>(container)->addSubview(view);
                },
                entry.description->line, "placing " + entry.description->label());
        }
    }

    void connectOutlets() {
        forEachStatement(NibStatement::Kind::Outlet, [&](Entry& entry, const NibStatement& statement) {
            Object* target = objectNamed(statement.objectName);
            require([&] { entry.object->setValue_forKey(target, statement.key); }, statement.line,
                    "connecting " + statement.key + " of " + entry.description->label());
        });
    }

    void connectBindings() {
        forEachStatement(NibStatement::Kind::Binding, [&](Entry& entry, const NibStatement& statement) {
            auto* view = static_cast<View*>(entry.object);
            if (!view->acceptsBinding(statement.key)) {
                throw LoadFailure{statement.line, entry.description->label() + " (" + entry.cls->name() +
                                                      ") has no binding " + quote(statement.key)};
            }
            if (std::find(nib_->boundViews_.begin(), nib_->boundViews_.end(), view) == nib_->boundViews_.end()) {
                nib_->boundViews_.push_back(view);
            }
            Object* bound = objectNamed(statement.objectName);
            require([&] { view->bind_toObject_withKeyPath(statement.key, bound, statement.objectKey, statement.transformer); }, statement.line,
                    "binding " + statement.key + " of " + entry.description->label());
        });
    }

    void connectActions() {
        forEachStatement(NibStatement::Kind::Action, [&](Entry& entry, const NibStatement& statement) {
            auto* control = static_cast<Control*>(entry.object);
            nib_->connectedControls_.push_back(control);
            control->setTarget(objectNamed(statement.objectName));
            control->setAction(statement.key);
        });
    }

    void connectOwner() {
        for (const NibObject* block : ownerBlocks_) {
            for (const NibStatement& statement : block->statements) {
                const bool outlet = statement.kind == NibStatement::Kind::Outlet;
                Object* value = outlet ? objectNamed(statement.objectName) : statement.value.get();
                if (outlet) ownerOutlets_.push_back(statement.key);
                require([&] { owner_->setValue_forKey(value, statement.key); }, statement.line,
                        "setting " + statement.key + " of File's Owner");
            }
        }
    }

    void awakeObjects() {
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            Object* object = entries_[i].object;
            if (!object->respondsToSelector("awakeFromNib")) continue;
            require([&] { object->performSelector("awakeFromNib"); }, entries_[i].description->line,
                    "awakeFromNib of " + entries_[i].description->label());
        }
    }

    // After a failure: File's Owner must not keep references to objects
    // that are about to go.
    void disconnectOwner() {
        for (const std::string& key : ownerOutlets_) runCatching([&] { owner_->setValue_forKey(nullptr, key); });
        ownerOutlets_.clear();
    }

    const void* image_;
    Object* owner_;
    std::string file_;
    std::vector<Entry> entries_;
    std::vector<const NibObject*> ownerBlocks_;
    std::map<std::string, int, std::less<>> lines_;
    std::vector<std::string> ownerOutlets_;
    std::unique_ptr<LoadedNib> nib_;
};

NibLoader::Result NibLoader::loadText(std::string_view text, std::string_view file, Object* owner) const {
    NibParseResult parsed = parseNib(text, file);
    if (parsed.error) return {nullptr, std::move(parsed.error)};
    return NibLoadSteps(image_, owner, file).run(parsed.document);
}

NibLoader::Result NibLoader::loadFile(const std::string& path, Object* owner) const {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return {nullptr, NibError{path, 0, error ? "cannot be read: " + error.message() : "is not a file"}};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return {nullptr, NibError{path, 0, std::string("cannot be read: ") + std::strerror(errno)}};
    std::string text;
    text.resize(kMaximumNibSize + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) return {nullptr, NibError{path, 0, "cannot be read"}};
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaximumNibSize) return {nullptr, NibError{path, 0, "is larger than 1 MiB"}};
    return loadText(text, path, owner);
}

std::string NibLoader::pathForNibNamed(const Bundle& bundle, std::string_view name) {
    std::string file(name);
    if (!file.ends_with(".nib")) file += ".nib";
    Ref<String> resources = bundle.resourcePath();
    return resources->stringByAppendingPathComponent(make<String>(file).get())->text();
}

} // namespace platform
