#pragma once

#include "AppKit/View.h"

class QGroupBox;

namespace platform {

class String;

// A titled frame around its subviews, which it lays out top to bottom.
class Box final : public View {
public:
    PLATFORM_CLASS_RECORD  // "NSBox"

    Box();

    Ref<String> title() const;
    void setTitle(String* title);

private:
    QGroupBox* box() const;
};

} // namespace platform
