#pragma once

#include "objc/Object.h"

#include <memory>
#include <string>

namespace platform {

class Bundle;
class LoadedNib;
class View;

// The base of a preference pane's principal class. The preferences
// application creates the pane by class name, sends initWithBundle: with the
// pane's bundle and loadMainView, shows the main view, and tells the pane of
// selection through the will/did messages below; subclasses override what
// they need (each does nothing here).
//
// The main view comes from the interface file that the bundle's
// NSMainNibFile names (in its resources folder), loaded with the pane as
// File's Owner; the file connects the pane's "mainView" outlet. The pane
// keeps the loaded interface, and so everything in it, for its life.
class PreferencePane : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSPreferencePane"

    PreferencePane();
    ~PreferencePane() override;

    // initWithBundle:
    void initWithBundle(Bundle* bundle);
    Bundle* bundle() const { return bundle_.get(); }

    // Loads the main view once, looking classes up in the image of the
    // pane's own class first, and sends mainViewDidLoad. Returns the main
    // view, or null when it cannot be had; loadError() then tells why.
    // Exceptions from mainViewDidLoad reach the caller.
    View* loadMainView();
    const std::string& loadError() const { return loadError_; }

    // The objects of the loaded main-view interface file; null before.
    const LoadedNib* loadedNib() const { return nib_.get(); }

    // Retained.
    View* mainView() const { return mainView_.get(); }
    void setMainView(View* view);

    virtual void mainViewDidLoad() {}
    virtual void willSelect() {}
    virtual void didSelect() {}
    virtual void willUnselect() {}
    virtual void didUnselect() {}

private:
    Ref<Bundle> bundle_;
    Ref<View> mainView_;
    std::unique_ptr<LoadedNib> nib_;
    std::string loadError_;
    bool loadTried_ = false;
};

} // namespace platform
