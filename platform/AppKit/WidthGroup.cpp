#include "AppKit/WidthGroup.h"

#include <QEvent>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace platform {
namespace {

constexpr const char* kGroup = "privetWidthGroup";
// The width asked for by the view itself, kept apart from the group's.
constexpr const char* kOwnWidth = "privetOwnMinimumWidth";

void fitGroup(const QWidget& member) {
    const QString group = member.property(kGroup).toString();
    QList<QWidget*> members;
    for (QWidget* widget : member.window()->findChildren<QWidget*>()) {
        if (widget->property(kGroup) == group) members.push_back(widget);
    }
    int width = 0;
    for (const QWidget* widget : members) {
        width = std::max({width, widget->sizeHint().width(), widget->property(kOwnWidth).toInt()});
    }
    for (QWidget* widget : members) widget->setMinimumWidth(width);
}

class WidthGroups final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::Show || type == QEvent::FontChange || type == QEvent::StyleChange) {
            if (auto* widget = qobject_cast<QWidget*>(watched)) fitGroup(*widget);
        }
        return false;
    }
};

} // namespace

void joinWidthGroup(QWidget& widget, const QString& group, int ownMinimumWidth) {
    static WidthGroups* const groups = new WidthGroups;
    if (group.isEmpty()) {  // leaves its group
        widget.setProperty(kGroup, QVariant());
        widget.removeEventFilter(groups);
        return;
    }
    widget.setProperty(kOwnWidth, ownMinimumWidth);
    widget.setProperty(kGroup, group);
    widget.installEventFilter(groups);  // once, however often it is joined
    if (widget.isVisible()) fitGroup(widget);
}

} // namespace platform
