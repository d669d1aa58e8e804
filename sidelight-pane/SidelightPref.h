#pragma once

#include "PreferencePanes/PreferencePane.h"

// The SidelightPane pane: its payload controllers refresh on their own.
class com_fernhill_SidelightPref final : public platform::PreferencePane {
public:
    PLATFORM_CLASS_RECORD

    void mainViewDidLoad() override;
};
