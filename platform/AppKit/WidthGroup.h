#pragma once

class QString;
class QWidget;

namespace platform {

// Widgets of one window that share a width group keep one width: the widest
// of their own widths, and never less than each one's minimum width. It is
// worked out again whenever one is shown or its font or style changes, so a
// column of captions stays in line in any style and at any font size. An
// empty group leaves the one the widget was in.
void joinWidthGroup(QWidget& widget, const QString& group, int ownMinimumWidth);

} // namespace platform
