#pragma once

#include "PreferencePanes/PreferencePane.h"

// The SidelightPane pane: its payload controllers refresh on their own.
class com_fernhill_SidelightPref final : public platform::PreferencePane {
public:
    static const platform::Class classRecord;
    const platform::Class& objectClass() const override { return classRecord; }

    void mainViewDidLoad() override;
};
