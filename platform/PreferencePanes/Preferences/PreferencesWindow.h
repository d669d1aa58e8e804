#pragma once

#include "PreferencePanes/Preferences/PaneSlot.h"

#include <QWidget>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QListWidget;
class QStackedWidget;

namespace platform {

// The preferences window: the panes by name in a list on the left, the
// selected one's main view (or why it cannot be shown) on the right.
//
// Selecting a pane loads it the first time, sends the pane being left
// willUnselect, the new one willSelect, shows its view, then sends
// didUnselect to the one left and didSelect to the new one. Exceptions from
// these messages are shown in an alert; the window goes on.
class PreferencesWindow final : public QWidget {
public:
    explicit PreferencesWindow(const std::vector<std::string>& paneBundles);
    ~PreferencesWindow() override;

    std::size_t paneCount() const { return slots_.size(); }
    PaneSlot& paneAt(std::size_t index) const { return *slots_.at(index); }
    // The index of the pane with that name; -1 when there is none.
    int indexOfPaneNamed(std::string_view name) const;

    // -1 selects nothing.
    void selectPane(int index);
    int selectedPane() const { return selected_; }
    // What the content area shows now: a pane's view, the error page or the hint.
    QWidget* shownContent() const;
    // The text of the error page (of the last pane that failed).
    QString errorText() const;

private:
    void showSelection(int index);

    QListWidget* list_;
    QStackedWidget* content_;
    QLabel* hint_;
    QLabel* error_;
    std::vector<std::unique_ptr<PaneSlot>> slots_;
    int selected_ = -1;
};

} // namespace platform
