#include "PreferencePanes/Preferences/PreferencesWindow.h"

#include "AppKit/ActionBoundary.h"
#include "AppKit/DesktopCitizen.h"
#include "Foundation/Log.h"
#include "PreferencePanes/PreferencePane.h"
#include "PreferencePanes/Preferences/PaneTrials.h"
#include "PreferencePanes/Preferences/ShownPaneMemory.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStackedWidget>

#include <utility>

namespace platform {
namespace {

// The content area's pages: the hint, the error page and the page of a pane
// held back, then one scroll area per pane shown.
constexpr int kFirstPaneArea = 3;

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

PreferencesWindow::PreferencesWindow(const std::vector<std::string>& paneBundles, PaneTrials* trials,
                                     ShownPaneMemory* memory)
    : list_(new QListWidget), content_(new QStackedWidget), hint_(nullptr), error_(newPageLabel(QString())),
      held_(new QWidget), heldText_(newPageLabel(QString())), heldOpen_(new QPushButton), trials_(trials),
      memory_(memory) {
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
    auto* heldLayout = new QVBoxLayout(held_);
    heldLayout->addStretch();
    heldLayout->addWidget(heldText_);
    heldLayout->addWidget(heldOpen_, 0, Qt::AlignHCenter);
    heldLayout->addStretch();
    content_->addWidget(held_);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(list_);
    layout->addWidget(content_, 1);
    resize(QSize(780, 500).boundedTo(screen()->availableGeometry().size()));

    QObject::connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { selectPane(row); });
    // A pane held back is current but not shown: a click or Enter opens it.
    QObject::connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { selectPane(list_->row(item)); });
    QObject::connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { selectPane(list_->row(item)); });
    holdPaneLeftNoted();
}

void PreferencesWindow::holdPaneLeftNoted() {
    if (memory_ == nullptr) return;
    const std::string left = memory_->leftByLastRun();
    for (std::size_t i = 0; i < slots_.size() && !left.empty(); ++i) {
        if (slots_[i]->path() != left) continue;
        NSLogText("The pane \"" + slots_[i]->name() + "\" (" + left +
                  ") was shown when Preferences last quit unexpectedly; it is not opened by itself this time",
                  LogPriority::Warning);
        const QString name = QString::fromStdString(slots_[i]->name());
        heldText_->setText(QStringLiteral("Preferences quit unexpectedly while the pane \u201c%1\u201d was shown, "
                                          "so it is not opened by itself this time.")
                               .arg(name));
        heldOpen_->setText(QStringLiteral("Open \u201c%1\u201d").arg(name));
        QObject::connect(heldOpen_, &QPushButton::clicked, this, [this, i] { selectPane(static_cast<int>(i)); });
        {
            // Current, so that nothing selects it when the list takes the focus.
            const QSignalBlocker quiet(list_);
            list_->setCurrentRow(static_cast<int>(i));
        }
        content_->setCurrentWidget(held_);
        return;
    }
}

PreferencesWindow::~PreferencesWindow() {
    // The panes' views leave the window before the panes that own them go.
    while (content_->count() > kFirstPaneArea) {
        auto* area = static_cast<QScrollArea*>(content_->widget(kFirstPaneArea));
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
    if (index < -1 || index >= static_cast<int>(slots_.size())) return;
    if (index == selected_ && awaited_ < 0) return;
    PaneSlot* leaving = selected_ >= 0 ? slots_[static_cast<std::size_t>(selected_)].get() : nullptr;
    PaneSlot* entering = index >= 0 ? slots_[static_cast<std::size_t>(index)].get() : nullptr;

    if (entering && trials_ && entering->awaitsTrial()) {
        awaited_ = index;
        showLoading(index);
        trials_->tryPane(entering->path(), [this, index](std::string failure) { trialEnded(index, std::move(failure)); });
        return;
    }
    awaited_ = -1;
    if (index == selected_) {
        // Back to the pane shown before a try began: it never left.
        showSelection(index);
    } else {
        tell(leaving, "willUnselect");
        if (entering && !entering->hasFailed() && memory_) memory_->note(entering->path());
        if (entering) entering->load();
        tell(entering, "willSelect");
        showSelection(index);
        tell(leaving, "didUnselect");
        tell(entering, "didSelect");
    }
    for (const auto& then : std::exchange(whenShown_, {})) then();
}

void PreferencesWindow::whenSelectionShown(std::function<void()> then) {
    if (awaited_ < 0) then();
    else whenShown_.push_back(std::move(then));
}

void PreferencesWindow::trialEnded(int index, std::string failure) {
    slots_[static_cast<std::size_t>(index)]->trialEnded(std::move(failure));
    if (awaited_ == index) selectPane(index);
}

void PreferencesWindow::showLoading(int index) {
    {
        const QSignalBlocker quiet(list_);
        list_->setCurrentRow(index);
    }
    const QString name = QString::fromStdString(slots_[static_cast<std::size_t>(index)]->name());
    setWindowTitle(name);
    error_->setText(QStringLiteral("Loading \u201c%1\u201d\u2026").arg(name));
    content_->setCurrentWidget(error_);
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
        for (int page = kFirstPaneArea; page < content_->count() && area == nullptr; ++page) {
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
