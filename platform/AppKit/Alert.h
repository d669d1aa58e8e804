#pragma once

#include "objc/Object.h"

#include <functional>

namespace platform {

class String;

// A message for the user in a modal box (QMessageBox) over the active window.
class Alert final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSAlert"

    String* messageText() const { return messageText_.get(); }
    void setMessageText(String* text);
    String* informativeText() const { return informativeText_.get(); }
    void setInformativeText(String* text);

    // Shows the alert and returns when the user has dismissed it; the run
    // loop's common-mode timers go on firing meanwhile.
    void runModal();

    // For tests: while set, runModal hands the alert to the presenter instead
    // of showing it. Returns the presenter it replaces (null: the message box).
    using Presenter = std::function<void(const Alert&)>;
    static Presenter setPresenter(Presenter presenter);

private:
    Ref<String> messageText_;
    Ref<String> informativeText_;
};

} // namespace platform
