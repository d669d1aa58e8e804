#pragma once

#include "PreferencePanes/Preferences/PaneSlot.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace platform {

class PaneTrials;
class ShownPaneMemory;

// The preferences window: the panes by name in a list on the left, the
// selected one's main view (or why it cannot be shown) on the right.
//
// Selecting a pane loads it the first time, sends the pane being left
// willUnselect, the new one willSelect, shows its view, then sends
// didUnselect to the one left and didSelect to the new one. Exceptions from
// these messages are shown in an alert; the window goes on.
//
// With `trials`, a pane's code runs here only once it came through a try in
// a process of its own; until then the content area says it is loading, and
// a pane that crashed, exited or hung there is shown as failed with why.
// With `memory`, the window notes each pane before it runs its code, and a
// pane that the last run left noted (it took that run down) is not shown by
// itself: the window says what happened and offers to open it.
class PreferencesWindow final : public QWidget {
public:
    explicit PreferencesWindow(const std::vector<std::string>& paneBundles, PaneTrials* trials = nullptr,
                               ShownPaneMemory* memory = nullptr);
    ~PreferencesWindow() override;

    std::size_t paneCount() const { return slots_.size(); }
    PaneSlot& paneAt(std::size_t index) const { return *slots_.at(index); }
    // The index of the pane with that name; -1 when there is none.
    int indexOfPaneNamed(std::string_view name) const;

    // -1 selects nothing. A pane still to be tried is shown once its try
    // has ended.
    void selectPane(int index);
    // Calls `then` once the pane selected last is shown (its view or why
    // not): at once when no try is under way.
    void whenSelectionShown(std::function<void()> then);
    int selectedPane() const { return selected_; }
    // What the content area shows now: a pane's view, the error page or the hint.
    QWidget* shownContent() const;
    // The text of the error page (of the last pane that failed).
    QString errorText() const;

private:
    void showSelection(int index);
    void showLoading(int index);
    void trialEnded(int index, std::string failure);
    void holdPaneLeftNoted();

    QListWidget* list_;
    QStackedWidget* content_;
    QLabel* hint_;
    QLabel* error_;
    QWidget* held_;
    QLabel* heldText_;
    QPushButton* heldOpen_;
    std::vector<std::unique_ptr<PaneSlot>> slots_;
    int selected_ = -1;
    PaneTrials* trials_;
    ShownPaneMemory* memory_;
    int awaited_ = -1;  // the pane selected whose try is under way
    std::vector<std::function<void()>> whenShown_;
};

} // namespace platform
