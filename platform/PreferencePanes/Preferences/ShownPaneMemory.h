#pragma once

#include <string>

namespace platform {

// Where Preferences notes the pane whose code it runs, from just before it
// runs it until Preferences ends as asked: a note that a run leaves behind
// names the pane that took it down, which the next start then does not show
// by itself.
class ShownPaneMemory {
public:
    // `file` "" notes nothing.
    explicit ShownPaneMemory(std::string file);

    // $XDG_STATE_HOME/privet/preferences-shown-pane, else the same under
    // ~/.local/state; "" when neither can be named.
    static std::string standardFile();

    // The pane a run that did not end as asked left noted; "" for none.
    std::string leftByLastRun() const;
    void note(const std::string& panePath);
    // Preferences ends as asked.
    void forget();

private:
    std::string file_;
};

} // namespace platform
