#pragma once

#include "AppKit/Control.h"

class QString;

namespace platform {

class String;

// Text the user can read and select but not change: a field with a border
// (bezeled, the default) or, without one, a label, which screen readers read
// as a label and which is as wide as its text in any style and font. Its
// "value" binding shows a bound key's value as text; "labelFor" makes it the
// caption of another view, so that screen readers relate the two. A label
// that "wraps" breaks its text into lines to fit the width it is given.
class TextField final : public Control {
public:
    PLATFORM_CLASS_RECORD  // "NSTextField"

    TextField();

    Ref<String> stringValue() const;
    void setStringValue(String* text);
    bool isBezeled() const { return bezeled_; }
    void setBezeled(bool bezeled);
    bool isBold() const { return bold_; }
    void setBold(bool bold);
    View* labelFor() const { return labelFor_.get(); }
    void setLabelFor(View* view);
    bool wraps() const { return wraps_; }
    void setWraps(bool wraps);

    bool acceptsBinding(std::string_view binding) const override;
    void setValueForBinding(std::string_view binding, Object* value) override;

private:
    QString text() const;
    void setText(const std::string& text);
    // The font's weight and the caption's link, on whichever widget shows the text.
    void applyAttributes();

    bool bezeled_ = true;
    bool bold_ = false;
    bool wraps_ = false;
    Ref<View> labelFor_;  // a caption keeps what it names
};

} // namespace platform
