#pragma once

#include "AppKit/View.h"

namespace platform {

class String;

// Lays its subviews out in a row ("horizontal") or a column ("vertical",
// the default), with a spacing and margins in pixels. Alignment "fill" (the
// default) spreads the subviews over the whole width or height; "leading",
// "center" and "trailing" pack them at the start, middle or end.
class StackView final : public View {
public:
    PLATFORM_CLASS_RECORD  // "NSStackView"

    StackView();

    Ref<String> orientation() const;
    // Raises NSInvalidArgumentException for another text.
    void setOrientation(String* orientation);
    std::int64_t spacing() const;
    void setSpacing(std::int64_t spacing);
    std::int64_t margin() const;
    void setMargin(std::int64_t margin);
    Ref<String> alignment() const;
    void setAlignment(String* alignment);

private:
    QBoxLayout* subviewLayout() override;
    void applyAlignment();

    std::string alignment_ = "fill";
};

} // namespace platform
