#pragma once

#include "objc/Object.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QBoxLayout;

namespace platform {

class Binding;

// A rectangle of the user interface over one Qt widget, with subviews laid
// out inside it (top to bottom in a plain view) and bindings that keep some
// of its attributes equal to a key of another object.
//
// The widget belongs to the view: it goes with the view, or earlier when a
// widget it was placed into goes. Views need a QApplication; creating one
// without it raises NSInternalInconsistencyException.
class View : public Object {
public:
    PLATFORM_CLASS_RECORD  // "NSView"

    View();
    ~View() override;

    // Null once a parent widget has deleted it.
    QWidget* widget() const { return widget_; }

    // Retains the subview and places its widget at the end of this view's layout.
    void addSubview(View* view);
    const std::vector<Ref<View>>& subviews() const { return subviews_; }

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    Ref<String> toolTip() const;
    void setToolTip(String* text);
    // What a screen reader calls the view when its own text does not say
    // enough ("Install Fernhill Digitizer" for a button titled "Install").
    Ref<String> accessibilityLabel() const;
    void setAccessibilityLabel(String* text);
    // In pixels; 0 for the widget's own size.
    std::int64_t minimumWidth() const { return minimumWidth_; }
    void setMinimumWidth(std::int64_t width);
    // Views of a window with the same width group share one width, the
    // widest of them (captions in one column); empty for none.
    Ref<String> widthGroup() const;
    void setWidthGroup(String* group);

    // Bindings: the named attribute follows `key` of `object`, read again on
    // every did-change announcement of the key. The object is not retained
    // and must outlive the binding (unbind before it goes). Binding a name
    // again replaces the earlier binding. Raises NSInvalidArgumentException
    // for a name the view does not accept.
    // A value transformer's name, when given, is applied to every value read.
    void bind_toObject_withKeyPath(std::string_view binding, Object* object, std::string_view key,
                                   std::string_view transformer = {});
    void unbind(std::string_view binding);
    void unbindAll();
    // The names bind_toObject_withKeyPath accepts: "hidden" for every view.
    virtual bool acceptsBinding(std::string_view binding) const;
    // Applies a value read for a binding.
    virtual void setValueForBinding(std::string_view binding, Object* value);

    // A new widget for a view; raises when no QApplication exists (Qt would abort).
    template <class W, class... Args>
    static W* makeWidget(Args&&... args) {
        requireApplication();
        return new W(std::forward<Args>(args)...);
    }

protected:
    // For subclasses: the view over a widget made with makeWidget.
    explicit View(QWidget* widget);
    // Where subviews go; a plain view lays them out top to bottom.
    virtual QBoxLayout* subviewLayout();
    // Puts another widget in place of this view's own one (in its parent's
    // layout too); the old one is deleted.
    void replaceWidget(QWidget* widget);
    Binding* bindingNamed(std::string_view binding) const;

private:
    static void requireApplication();
    // The widget's place in its width group (none when the group is empty).
    void applyWidthGroup();

    QPointer<QWidget> widget_;
    std::vector<Ref<View>> subviews_;
    std::vector<std::unique_ptr<Binding>> bindings_;
    bool hidden_ = false;
    std::int64_t minimumWidth_ = 0;
    std::string widthGroup_;
};

// True for values that read as YES: a non-zero number.
bool boolFromValue(const Object* value);
// The text a value shows as: a string as it is, a number or other object by
// its description, nothing for null.
std::string textFromValue(const Object* value);

} // namespace platform
