#pragma once

#include "objc/Object.h"

#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace platform {

class Bundle;
class PreferencePane;

// One pane bundle of the preferences application: its name at once, its
// code and main view on first use. A pane is loaded once and then kept;
// its code stays mapped for the life of the process.
class PaneSlot {
public:
    explicit PaneSlot(std::string bundlePath);
    ~PaneSlot();
    PaneSlot(const PaneSlot&) = delete;
    PaneSlot& operator=(const PaneSlot&) = delete;

    const std::string& path() const { return path_; }
    // The bundle's CFBundleName, else its file name without ".prefPane".
    const std::string& name() const { return name_; }

    // The first call loads the code (Contents/Linux/<CFBundleExecutable>,
    // RTLD_LOCAL), creates the principal class (NSPrincipalClass) by name
    // from that code, sends it initWithBundle: and loadMainView (which
    // sends mainViewDidLoad). False when a step fails; error() tells which
    // and why. Later calls answer the same without loading again.
    // `onStep` hears each step named before it starts ("loading", "being
    // created", "loading its view"), for a trial that must say where a pane
    // stopped.
    bool load(const std::function<void(std::string_view step)>& onStep = {});
    bool isLoaded() const { return state_ == State::Loaded; }
    bool hasFailed() const { return state_ == State::Failed; }
    const std::string& error() const { return error_; }

    // Whether its code has yet to be tried in a process of its own before
    // it runs in ours; once tried, `failure` is empty when it came through,
    // else why not, and the slot has failed with it.
    bool awaitsTrial() const { return state_ == State::Unloaded && !tried_; }
    void trialEnded(std::string failure);

    // Null until loaded.
    PreferencePane* pane() const;
    QWidget* view() const;

private:
    enum class State { Unloaded, Loaded, Failed };
    bool fail(std::string reason);
    const void* loadCode();

    std::string path_;
    std::string name_;
    Ref<Bundle> bundle_;
    Ref<PreferencePane> pane_;
    State state_ = State::Unloaded;
    bool tried_ = false;
    std::string error_;
};

} // namespace platform
