#include "PreferencePanes/Preferences/PreferencesWindow.h"

#include "AppKit/ActionBoundary.h"
#include "AppKit/DesktopCitizen.h"
#include "PreferencePanes/PreferencePane.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStackedWidget>

namespace platform {
namespace {

QLabel* newPageLabel(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMargin(24);
    return label;
}

// A pane's view in a scroll area of its own, so that the window fits small
// and magnified screens; the view stays the pane's.
QScrollArea* newPaneArea(QWidget* view) {
    auto* area = new QScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(view);
    return area;
}

void tell(PaneSlot* slot, const char* selector) {
    if (slot && slot->isLoaded()) sendAction(selector, slot->pane(), nullptr);
}

} // namespace

PreferencesWindow::PreferencesWindow(const std::vector<std::string>& paneBundles)
    : list_(new QListWidget), content_(new QStackedWidget), hint_(nullptr), error_(newPageLabel(QString())) {
    for (const std::string& path : paneBundles) slots_.push_back(std::make_unique<PaneSlot>(path));
    hint_ = newPageLabel(slots_.empty() ? QStringLiteral("No preference panes were found.")
                                        : QStringLiteral("Select a pane in the list."));
    // The application's name, alone in the title bar until a pane is shown.
    setWindowTitle(QApplication::applicationDisplayName());
    addStandardShortcuts(*this);
    for (const std::unique_ptr<PaneSlot>& slot : slots_) list_->addItem(QString::fromStdString(slot->name()));
    list_->setAccessibleName(QStringLiteral("Panes"));
    list_->setFixedWidth(190);
    list_->setSpacing(2);
    showKeyboardFocusInSelection(*list_);
    content_->addWidget(hint_);
    content_->addWidget(error_);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(list_);
    layout->addWidget(content_, 1);
    resize(QSize(780, 500).boundedTo(screen()->availableGeometry().size()));

    QObject::connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { selectPane(row); });
}

PreferencesWindow::~PreferencesWindow() {
    // The panes' views leave the window before the panes that own them go.
    while (content_->count() > 2) {
        auto* area = static_cast<QScrollArea*>(content_->widget(2));
        content_->removeWidget(area);
        area->takeWidget();
        delete area;
    }
    slots_.clear();
}

int PreferencesWindow::indexOfPaneNamed(std::string_view name) const {
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i]->name() == name) return static_cast<int>(i);
    }
    return -1;
}

QWidget* PreferencesWindow::shownContent() const {
    QWidget* page = content_->currentWidget();
    auto* area = qobject_cast<QScrollArea*>(page);
    return area ? area->widget() : page;
}

QString PreferencesWindow::errorText() const { return error_->text(); }

void PreferencesWindow::selectPane(int index) {
    if (index < -1 || index >= static_cast<int>(slots_.size()) || index == selected_) return;
    PaneSlot* leaving = selected_ >= 0 ? slots_[static_cast<std::size_t>(selected_)].get() : nullptr;
    PaneSlot* entering = index >= 0 ? slots_[static_cast<std::size_t>(index)].get() : nullptr;

    tell(leaving, "willUnselect");
    if (entering) entering->load();
    tell(entering, "willSelect");
    showSelection(index);
    tell(leaving, "didUnselect");
    tell(entering, "didSelect");
}

void PreferencesWindow::showSelection(int index) {
    selected_ = index;
    {
        const QSignalBlocker quiet(list_);
        list_->setCurrentRow(index);
    }
    if (index < 0) {
        setWindowTitle(QApplication::applicationDisplayName());
        content_->setCurrentWidget(hint_);
        return;
    }
    PaneSlot& slot = *slots_[static_cast<std::size_t>(index)];
    setWindowTitle(QString::fromStdString(slot.name()));
    if (QWidget* view = slot.view()) {
        QScrollArea* area = nullptr;
        for (int page = 2; page < content_->count() && area == nullptr; ++page) {
            auto* shown = static_cast<QScrollArea*>(content_->widget(page));
            if (shown->widget() == view) area = shown;
        }
        if (area == nullptr) {
            view->setContentsMargins(20, 20, 20, 20);
            area = newPaneArea(view);
            content_->addWidget(area);
        }
        content_->setCurrentWidget(area);
        return;
    }
    QString reason = QString::fromStdString(slot.error());
    if (!reason.isEmpty()) reason[0] = reason[0].toUpper();
    error_->setText(QStringLiteral("The pane \u201c%1\u201d cannot be shown.\n\n%2")
                        .arg(QString::fromStdString(slot.name()), reason));
    content_->setCurrentWidget(error_);
}

} // namespace platform
