#pragma once

#include "objc/Object.h"

#include <QPointer>
#include <QWidget>


namespace platform {

class String;
class View;

// A top-level window with a title and one content view, over a Qt widget
// that belongs to it. Interface files make one visible at launch unless
// visibleAtLaunch is NO.
class Window final : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSWindow"

    Window();
    ~Window() override;

    QWidget* widget() const { return widget_; }

    Ref<String> title() const;
    void setTitle(String* title);
    // Retained; replaces the one before.
    View* contentView() const { return contentView_.get(); }
    void setContentView(View* view);
    bool isVisibleAtLaunch() const { return visibleAtLaunch_; }
    void setVisibleAtLaunch(bool visible) { visibleAtLaunch_ = visible; }
    // The size of the content area in pixels; 0 for the content's own size.
    std::int64_t width() const;
    void setWidth(std::int64_t width);
    std::int64_t height() const;
    void setHeight(std::int64_t height);

    bool isVisible() const;
    // Shows the window in front of the others; the sender is ignored.
    void makeKeyAndOrderFront(Object* sender);
    // Hides it.
    void orderOut(Object* sender);

private:
    QPointer<QWidget> widget_;
    Ref<View> contentView_;
    bool visibleAtLaunch_ = true;
};

} // namespace platform
