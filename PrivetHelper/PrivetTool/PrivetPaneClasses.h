#pragma once

// The class names under which a deliverable's interface files find the
// payload library: subclasses of its code classes that add nothing but a
// name, one of each for every owner the flavour lists.

#include "PrivetTool/PrivetBundlePayloadController.h"
#include "PrivetTool/PrivetToolController.h"

#include <cstddef>
#include <optional>

// The subclass of `Base` for the flavour's owner in slot `Owner`; its record
// exists only where the flavour names that owner.
template <class Base, std::size_t Owner>
class PrivetPaneClass final : public Base {
public:
    static inline std::optional<platform::Class> classRecord;
    const platform::Class& objectClass() const override { return *classRecord; }
};
