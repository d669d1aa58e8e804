#pragma once

#include "AppKit/Control.h"

class QLineEdit;

namespace platform {

class String;

// Text the user can read and select but not change: a field with a border
// (bezeled, the default) or, without one, a label. Its "value" binding shows
// a bound key's value as text.
class TextField final : public Control {
public:
    static const Class classRecord;  // "NSTextField"
    const Class& objectClass() const override { return classRecord; }

    TextField();

    Ref<String> stringValue() const;
    void setStringValue(String* text);
    bool isBezeled() const { return bezeled_; }
    void setBezeled(bool bezeled);
    bool isBold() const { return bold_; }
    void setBold(bool bold);

    bool acceptsBinding(std::string_view binding) const override;
    void setValueForBinding(std::string_view binding, Object* value) override;

private:
    QLineEdit* field() const;
    void setText(const std::string& text);
    void fitLabelWidth();

    bool bezeled_ = true;
    bool bold_ = false;
};

} // namespace platform
